// A print system for the tests that records the raw-printing calls it gets and the data written,
// and can refuse one call with a given error. It answers the spooler API while it lives.
#pragma once
#include <qv/print_system.h>

#include <string>
#include <vector>

namespace jobproc_testing {

class RecordingPrintSystem : public qv::PrintSystem {
 public:
  RecordingPrintSystem();
  ~RecordingPrintSystem() override;

  // Refuses the `nth` call of `call` ("WritePrinter", ...) with `error`.
  void FailAt(const std::string& call, int nth, DWORD error);

  const std::vector<std::string>& Calls() const { return calls_; }
  const std::string& Data() const { return data_; }
  void Clear();

  BOOL OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults) override;
  BOOL ClosePrinter(HANDLE printer) override;
  DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo) override;
  BOOL StartPagePrinter(HANDLE printer) override;
  BOOL WritePrinter(HANDLE printer, LPVOID data, DWORD cbBuf, LPDWORD written) override;
  BOOL EndPagePrinter(HANDLE printer) override;
  BOOL EndDocPrinter(HANDLE printer) override;

 private:
  // Records the call; false when it is the one to refuse (the last error is set then).
  bool Take(const std::string& call, const std::string& detail = {});

  std::vector<std::string> calls_;
  std::string data_;
  std::string failCall_;
  int failAt_ = 0;
  int seen_ = 0;
  DWORD failError_ = 0;
};

}  // namespace jobproc_testing

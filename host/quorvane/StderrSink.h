// The command's diagnostics sink: every failure reported while it runs (by the port monitor, the
// job processor or the print system) becomes one line on standard error, naming the job and
// the host path, so that no failure goes unseen.
#pragma once
#include <qv/diagnostics.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace qv::cli {

// "job 12 (printer "Archive", port "Archive"): Error writing file: C:\a.prn (/srv/c/a.prn):
// Access is denied." without the leading "quorvane: " and the line break; a failure outside a
// job begins with its source instead ("DLLRegisterServer: ...").
std::string FailureLine(const qv::Failure& failure);

class StderrSink : public DiagnosticsSink {
 public:
  StderrSink();
  ~StderrSink() override;
  StderrSink(const StderrSink&) = delete;
  StderrSink& operator=(const StderrSink&) = delete;

  void Deliver(const qv::Failure& failure) noexcept override;

  // How many failures were told so far.
  static size_t Delivered();

 private:
  static std::atomic<size_t> delivered_;
};

// What a command says when its job `id` failed with `status`: when the failures were told on
// stderr already (more were delivered than `toldBefore`), only that the job is kept and how to
// retry it; otherwise the job's error.
std::string JobFailedText(DWORD id, DWORD status, size_t toldBefore);

}  // namespace qv::cli

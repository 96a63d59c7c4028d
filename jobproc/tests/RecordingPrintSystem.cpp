#include "RecordingPrintSystem.h"

#include <winbase.h>

namespace jobproc_testing {
namespace {

HANDLE const kPrinter = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4711));

std::string Text(LPCSTR text) { return text ? text : "(null)"; }

}  // namespace

RecordingPrintSystem::RecordingPrintSystem() { qv::SetPrintSystem(this); }
RecordingPrintSystem::~RecordingPrintSystem() { qv::SetPrintSystem(nullptr); }

void RecordingPrintSystem::FailAt(const std::string& call, int nth, DWORD error) {
  failCall_ = call;
  failAt_ = nth;
  failError_ = error;
  seen_ = 0;
}

void RecordingPrintSystem::Clear() {
  calls_.clear();
  data_.clear();
  failCall_.clear();
}

bool RecordingPrintSystem::Take(const std::string& call, const std::string& detail) {
  calls_.push_back(detail.empty() ? call : call + " " + detail);
  if (call != failCall_ || ++seen_ != failAt_) return true;
  calls_.back() += " -> refused";
  SetLastError(failError_);
  return false;
}

BOOL RecordingPrintSystem::OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults) {
  *printer = nullptr;
  std::string detail = Text(name);
  if (defaults)
    detail += " type=" + Text(defaults->pDatatype) + " devmode=" + (defaults->pDevMode ? "set" : "null") +
              " access=" + std::to_string(defaults->DesiredAccess);
  if (!Take("OpenPrinterA", detail)) return FALSE;
  *printer = kPrinter;
  return TRUE;
}

BOOL RecordingPrintSystem::ClosePrinter(HANDLE printer) {
  return Take("ClosePrinter", printer == kPrinter ? "" : "(wrong handle)");
}

DWORD RecordingPrintSystem::StartDocPrinterA(HANDLE, DWORD level, LPBYTE docInfo) {
  const auto* info = reinterpret_cast<const DOC_INFO_1A*>(docInfo);
  return Take("StartDocPrinterA", "level=" + std::to_string(level) + " doc=" + Text(info->pDocName) +
                                      " output=" + Text(info->pOutputFile) + " type=" + Text(info->pDatatype))
             ? 12
             : 0;
}

BOOL RecordingPrintSystem::StartPagePrinter(HANDLE) { return Take("StartPagePrinter"); }

BOOL RecordingPrintSystem::WritePrinter(HANDLE, LPVOID data, DWORD cbBuf, LPDWORD written) {
  *written = 0;
  if (!Take("WritePrinter", std::to_string(cbBuf))) return FALSE;
  data_.append(static_cast<const char*>(data), cbBuf);
  *written = cbBuf;
  return TRUE;
}

BOOL RecordingPrintSystem::EndPagePrinter(HANDLE) { return Take("EndPagePrinter"); }
BOOL RecordingPrintSystem::EndDocPrinter(HANDLE) { return Take("EndDocPrinter"); }

}  // namespace jobproc_testing

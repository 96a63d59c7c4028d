#include "PortJob.h"
#include "Cancellation.h"

#include <qv/diagnostics.h>
#include <qv/status_text.h>
#include <qv/utf.h>

#include <winbase.h>
#include <qv/utf.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace qv::backend {
namespace {

// Closes the port when the job leaves, however it leaves. Closing a port whose document was
// not ended drops the job's temporary file: the script never sees a partial job.
class OpenedPort {
 public:
  OpenedPort(const MONITOR& monitor, HANDLE handle) : monitor_(monitor), handle_(handle) {}
  ~OpenedPort() {
    if (monitor_.pfnClosePort) monitor_.pfnClosePort(handle_);
  }
  OpenedPort(const OpenedPort&) = delete;
  OpenedPort& operator=(const OpenedPort&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  const MONITOR& monitor_;
  HANDLE handle_;
};

// A failed entry point of the monitor, reported to the sink (an ERROR: line), which names the
// file the platform noted the failure on (the job's temporary file for a failed write).
void ReportEntryFailure(const char* entry, const std::string& port) {
  const DWORD error = GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_GEN_FAILURE);
  Failure failure;
  failure.number = static_cast<LONG>(error);
  failure.description = std::string(entry) + " of the port \"" + port + "\" failed";
  failure.systemText = StatusText(error);
  ReportFailure(std::move(failure));
}

}  // namespace

PortJobResult RunPortJob(const MONITOR& monitor, const std::string& port, const std::string& printer, DWORD jobId,
                         const std::string& title, const std::string& datatype, int fd) {
  PortJobResult result;
  if (!monitor.pfnOpenPort || !monitor.pfnStartDocPort || !monitor.pfnWritePort || !monitor.pfnEndDocPort) {
    result.failure = "the monitor can't print: its table lacks job entry points";
    return result;
  }
  std::u16string portName = ToUtf16(port);
  std::u16string printerName = ToUtf16(printer);
  std::u16string document = ToUtf16(title);
  std::u16string type = ToUtf16(datatype);
  HANDLE handle = nullptr;
  SetLastError(ERROR_SUCCESS);
  if (!monitor.pfnOpenPort(portName.data(), &handle)) {
    ReportEntryFailure("OpenPort", port);
    return result;
  }
  OpenedPort opened(monitor, handle);
  DOC_INFO_1W info{document.data(), nullptr, type.data()};
  SetLastError(ERROR_SUCCESS);
  if (!monitor.pfnStartDocPort(opened.Get(), printerName.data(), jobId, 1, reinterpret_cast<LPBYTE>(&info))) {
    ReportEntryFailure("StartDocPort", port);
    return result;
  }
  std::vector<BYTE> chunk(kWritePortChunk);
  for (;;) {
    if (Cancelled()) {
      result.cancelled = true;
      return result;
    }
    ssize_t got = read(fd, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result.failure = std::string("the job's data can't be read: ") + std::strerror(errno);
      return result;
    }
    if (got == 0) break;
    // A port may take less than it is given; what it leaves is offered again.
    for (DWORD done = 0; done < static_cast<DWORD>(got);) {
      DWORD written = 0;
      SetLastError(ERROR_SUCCESS);
      if (!monitor.pfnWritePort(opened.Get(), chunk.data() + done, static_cast<DWORD>(got) - done, &written)) {
        ReportEntryFailure("WritePort", port);
        return result;
      }
      if (written == 0) {
        result.failure = "WritePort of the port \"" + port + "\" took nothing";
        return result;
      }
      done += written;
    }
    result.bytes += static_cast<uint64_t>(got);
  }
  if (Cancelled()) {
    result.cancelled = true;
    return result;
  }
  // From here the script runs; a cancel is honoured once it has finished.
  SetLastError(ERROR_SUCCESS);
  if (!monitor.pfnEndDocPort(opened.Get())) {
    ReportEntryFailure("EndDocPort", port);
    return result;
  }
  result.ok = true;
  result.cancelled = Cancelled();
  return result;
}

}  // namespace qv::backend

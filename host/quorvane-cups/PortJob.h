// Plays the spooler for the backend's one job: the monitor's entry points in the order a
// spooler calls them (OpenPort, StartDocPort, WritePort in pieces, EndDocPort, ClosePort).
#pragma once
#include <windef.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>

namespace qv::backend {

struct PortJobResult {
  bool ok = false;
  bool cancelled = false;
  uint64_t bytes = 0;
  // What failed, for the ERROR: line; empty when a failed entry point of the monitor was reported
  // to the diagnostics sink, which wrote the line.
  std::string failure;
};

// `fd` is the document (the spool file, or standard input).
PortJobResult RunPortJob(const MONITOR& monitor, const std::string& port, const std::string& printer, DWORD jobId,
                         const std::string& title, const std::string& datatype, int fd);

// The monitor's WritePort is given the job in pieces of this size.
inline constexpr size_t kWritePortChunk = 64 * 1024;

}  // namespace qv::backend

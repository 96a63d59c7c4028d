#include "StderrSink.h"

#include <qv/print_system.h>

#include <cstdio>

namespace qv::cli {

std::atomic<size_t> StderrSink::delivered_{0};

std::string FailureLine(const qv::Failure& failure) {
  std::string line;
  if (failure.job) {
    line = "job " + std::to_string(failure.job->jobId) + " (printer \"" + failure.job->printer + "\"";
    if (!failure.job->port.empty()) line += ", port \"" + failure.job->port + "\"";
    line += "): ";
  } else if (!failure.source.empty()) {
    line = failure.source + ": ";  // no job: where it happened tells what it belongs to
  }
  return line + FailureText(failure);
}

StderrSink::StderrSink() { SetDiagnosticsSink(this); }

StderrSink::~StderrSink() { SetDiagnosticsSink(nullptr); }

void StderrSink::Deliver(const qv::Failure& failure) noexcept {
  try {
    const std::string line = "quorvane: " + FailureLine(failure) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);  // one write: lines of two threads never mix
    std::fflush(stderr);
    ++delivered_;
  } catch (...) {
  }
}

size_t StderrSink::Delivered() { return delivered_.load(); }

std::string JobFailedText(DWORD id, DWORD status, size_t toldBefore) {
  const std::string number = std::to_string(id);
  if (StderrSink::Delivered() != toldBefore)
    return "job " + number + " failed; it is kept in the spool (\"quorvane jobs --retry " + number + "\" runs it again)";
  JobEntry job;
  std::string error = GetJobEntry(id, job) == ERROR_SUCCESS && !job.error.empty() ? job.error : StatusText(status);
  return "job " + number + " failed: " + error;
}

}  // namespace qv::cli

#include "ErrorLineSink.h"
#include "Messages.h"

namespace qv::backend {

std::string DescribeFailure(const Failure& failure) {
  std::string line;
  if (failure.job) {
    line = "Job " + std::to_string(failure.job->jobId);
    if (!failure.job->port.empty()) line += " on port \"" + failure.job->port + "\"";
    line += ": ";
  }
  line += failure.description.empty() ? "a failure was reported" : failure.description;
  if (!failure.hostPath.empty()) {
    line += " (" + failure.hostPath;
    if (!failure.systemText.empty()) line += ": " + failure.systemText;
    line += ")";
  } else if (!failure.systemText.empty()) {
    line += " (" + failure.systemText + ")";
  }
  if (!failure.source.empty()) line += " [" + failure.source + ", " + std::to_string(failure.number) + "]";
  return line;
}

void ErrorLineSink::Deliver(const Failure& failure) noexcept {
  failures_.fetch_add(1);
  try {
    Error(DescribeFailure(failure));
  } catch (...) {
    // The failure is counted: the job still fails.
  }
}

}  // namespace qv::backend

// The backend's diagnostics sink: every failure the monitor or the job processor reports
// becomes an ERROR: line naming the job, the port and the failure, and marks the job failed.
#pragma once
#include <qv/diagnostics.h>

#include <atomic>
#include <string>

namespace qv::backend {

// The line for one failure, without its "ERROR: " level.
std::string DescribeFailure(const Failure& failure);

class ErrorLineSink : public DiagnosticsSink {
 public:
  void Deliver(const Failure& failure) noexcept override;
  bool SawFailure() const { return failures_.load() > 0; }

 private:
  std::atomic<int> failures_{0};
};

}  // namespace qv::backend

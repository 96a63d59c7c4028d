// The one diagnostics sink of the process, the job in hand per thread, and the host path of the
// last failed file operation per thread.
#include <qv/diagnostics.h>
#include <qv/status_text.h>
#include <qv/utf.h>

#include <atomic>
#include <utility>

namespace qv {
namespace {

std::atomic<DiagnosticsSink*> g_sink{nullptr};

thread_local std::optional<JobInHand> t_jobInHand;
thread_local FailureCollector* t_collector = nullptr;

struct NotedPath {
  std::string hostPath;
  DWORD status = 0;
  std::string unmapped;  // why there is no host path at all
};
thread_local std::optional<NotedPath> t_notedPath;

std::string Utf8(LPCWSTR text) {
  if (!text) return {};
  return ToUtf8(std::u16string_view(text));
}

// System texts end in a line break, which a failure's one line must not carry.
std::string WithoutLineBreak(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

void SetDiagnosticsSink(DiagnosticsSink* sink) { g_sink.store(sink); }

void ReportFailure(Failure failure) noexcept {
  try {
    std::optional<NotedPath> noted = std::exchange(t_notedPath, std::nullopt);
    DiagnosticsSink* sink = g_sink.load();
    if (!sink && !t_collector) return;
    // A failure that names no file gets the one noted; the noted reason only when it has none
    // of its own (a caller's status is the same failure, in its words).
    if (noted && failure.hostPath.empty()) {
      failure.hostPath = noted->hostPath;
      if (failure.systemText.empty())
        failure.systemText = !noted->unmapped.empty() ? noted->unmapped
                             : noted->status != 0    ? StatusText(noted->status)
                                                     : std::string();
    }
    if (!failure.job) failure.job = t_jobInHand;
    if (t_collector) t_collector->failures_.push_back(failure);
    if (sink) sink->Deliver(failure);
  } catch (...) {
    // A failure that can't be described further still reached the log file.
  }
}

JobInHandScope::JobInHandScope(JobInHand job) : previous_(std::exchange(t_jobInHand, std::move(job))) {}

JobInHandScope::~JobInHandScope() { t_jobInHand = std::move(previous_); }

std::optional<JobInHand> CurrentJobInHand() { return t_jobInHand; }

void NoteFailedHostPath(const std::string& hostPath, DWORD status) noexcept {
  try {
    if (hostPath.empty() && status == 0) {
      t_notedPath.reset();
      return;
    }
    t_notedPath = NotedPath{hostPath, status, {}};
  } catch (...) {
  }
}

void NoteUnmappedPath(const std::string& why) noexcept {
  try {
    t_notedPath = NotedPath{{}, 0, why};
  } catch (...) {
  }
}

FailureCollector::FailureCollector() : outer_(std::exchange(t_collector, this)) {}

FailureCollector::~FailureCollector() { t_collector = outer_; }

std::string FailureText(const Failure& failure) {
  std::string text = failure.description.empty() ? "Error " + std::to_string(failure.number) : failure.description;
  const bool more = !failure.hostPath.empty() || (!failure.systemText.empty() && failure.systemText != failure.description);
  // A sentence that goes on loses its full stop ("The path could not be found: drive Q: ...").
  if (more && text.size() > 1 && text.back() == '.') text.pop_back();
  if (!failure.hostPath.empty()) text += " (" + failure.hostPath + ")";
  if (!failure.systemText.empty() && failure.systemText != failure.description) text += ": " + failure.systemText;
  return text;
}

}  // namespace qv

extern "C" void QvReportFailure(LONG number, LPCWSTR description, LPCWSTR source) {
  try {
    qv::Failure failure;
    failure.number = number;
    failure.description = qv::WithoutLineBreak(qv::Utf8(description));
    failure.source = qv::Utf8(source);
    qv::ReportFailure(std::move(failure));
  } catch (...) {
  }
}

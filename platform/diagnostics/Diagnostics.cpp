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

struct NotedPath {
  std::string hostPath;
  DWORD status = 0;
};
thread_local std::optional<NotedPath> t_notedPath;

std::string Utf8(LPCWSTR text) {
  if (!text) return {};
  return ToUtf8(std::u16string_view(text));
}

}  // namespace

void SetDiagnosticsSink(DiagnosticsSink* sink) { g_sink.store(sink); }

void ReportFailure(Failure failure) noexcept {
  try {
    std::optional<NotedPath> noted = std::exchange(t_notedPath, std::nullopt);
    DiagnosticsSink* sink = g_sink.load();
    if (!sink) return;
    if (noted && failure.hostPath.empty()) {
      failure.hostPath = noted->hostPath;
      if (failure.systemText.empty() && noted->status != 0) failure.systemText = StatusText(noted->status);
    }
    if (!failure.job) failure.job = t_jobInHand;
    sink->Deliver(failure);
  } catch (...) {
    // A failure that can't be described further still reached the log file.
  }
}

JobInHandScope::JobInHandScope(JobInHand job) : previous_(std::exchange(t_jobInHand, std::move(job))) {}

JobInHandScope::~JobInHandScope() { t_jobInHand = std::move(previous_); }

std::optional<JobInHand> CurrentJobInHand() { return t_jobInHand; }

void NoteFailedHostPath(const std::string& hostPath, DWORD status) noexcept {
  try {
    t_notedPath = NotedPath{hostPath, status};
  } catch (...) {
  }
}

}  // namespace qv

extern "C" void QvReportFailure(LONG number, LPCWSTR description, LPCWSTR source) {
  try {
    qv::Failure failure;
    failure.number = number;
    failure.description = qv::Utf8(description);
    failure.source = qv::Utf8(source);
    qv::ReportFailure(std::move(failure));
  } catch (...) {
  }
}

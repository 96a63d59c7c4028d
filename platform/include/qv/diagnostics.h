// The diagnostics sink: every failure the monitor's or the job processor's logger handles, and
// what only the platform knows of it (the host path of a failed write, a printer that does not
// exist), is delivered to the one sink the host installed, with the job in hand when there is
// one. The loggers keep writing their log lines exactly as before; the sink is for the person
// who runs the host (the CLI prints a line on stderr, the CUPS backend an ERROR: line).
#pragma once
#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif
// What the monitor and the job processor call besides writing their log line: the number as
// the logger got it (object errors are negative), its description and its source, all as the
// logger has them. Never fails, never throws.
void QvReportFailure(LONG number, LPCWSTR description, LPCWSTR source);
#ifdef __cplusplus
}

#include <optional>
#include <string>
#include <vector>

namespace qv {

// The job a failure belongs to, as the print system that is despooling it knows it.
struct JobInHand {
  std::string printer;
  DWORD jobId = 0;
  std::string port;
  std::string document;
  std::string user;
};

struct Failure {
  LONG number = 0;           // as the logger got it
  std::string description;   // UTF-8
  std::string source;        // the logger's source text ("ActionWriteFile::Run", "LocalEndDocPort")
  std::string hostPath;      // the host path the failure concerns, when the platform knows it
  std::string systemText;    // the platform's words for the underlying status ("Access is denied")
  std::optional<JobInHand> job;
};

// A host's sink. Deliver may be called from any thread that reports; it must not throw.
class DiagnosticsSink {
 public:
  virtual ~DiagnosticsSink() = default;
  virtual void Deliver(const Failure& failure) noexcept = 0;
};

// Installs `sink` (null: none; failures then reach only the log file). The caller keeps it alive
// while it is installed.
void SetDiagnosticsSink(DiagnosticsSink* sink);

// Attaches the job in hand and the host path noted on this thread (when the failure has none),
// then delivers to the sink. Without a sink it does nothing.
void ReportFailure(Failure failure) noexcept;

// Makes `job` the job in hand on this thread while the scope lives (scopes nest: a reprint
// spooled inside a job's despool has its own).
class JobInHandScope {
 public:
  explicit JobInHandScope(JobInHand job);
  ~JobInHandScope();
  JobInHandScope(const JobInHandScope&) = delete;
  JobInHandScope& operator=(const JobInHandScope&) = delete;

 private:
  std::optional<JobInHand> previous_;
};

// The job in hand on this thread, if any.
std::optional<JobInHand> CurrentJobInHand();

// Remembers, for the next failure reported on this thread, the host path an operation failed
// on and its status (the files service calls this when a write, a copy or a folder fails).
// An empty path and status 0 forget what was noted (an operation that starts afresh).
void NoteFailedHostPath(const std::string& hostPath, DWORD status) noexcept;

// Remembers, for the next failure reported on this thread, why a path could not be mapped to a
// host path at all ("C: is not mapped to a folder"); it stands where the host path would.
void NoteUnmappedPath(const std::string& why) noexcept;

// Collects every failure reported on this thread while the scope lives, whether a sink is
// installed or not (the print system keeps a job whose despool reported failures). Scopes nest:
// the innermost one collects.
class FailureCollector {
 public:
  FailureCollector();
  ~FailureCollector();
  FailureCollector(const FailureCollector&) = delete;
  FailureCollector& operator=(const FailureCollector&) = delete;

  const std::vector<Failure>& Failures() const { return failures_; }

 private:
  friend void ReportFailure(Failure failure) noexcept;
  FailureCollector* outer_;
  std::vector<Failure> failures_;
};

// One line of text for a failure: the description, the host path in brackets and the
// platform's words ("Error writing file: C:\a.prn (/srv/c/a.prn): Access is denied").
std::string FailureText(const Failure& failure);

}  // namespace qv
#endif

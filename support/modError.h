// The job processor's one error report: a line in the optional log file named by the registry,
// and, on request, a message box. Every operation that does work ends in ReportFailures, or in
// a handler of its own that calls ReportCaughtError (or ReportError), and then returns its
// neutral result.
#pragma once
#include "Text.h"
#include "win/ExceptionBarrier.h"

namespace MarrowjetUI {

// Logs one failure; shows it first in a message box when `show` is true. Never fails.
void ReportError(LONG number, TextView description, TextView source, LONG line, bool show) noexcept;

// The system's text for a status code without its closing line break, or "Error not found.".
Text MessageText(LONG code) noexcept;

// The configured log file ("LogFile" of the configuration key), or empty text. Reports nothing.
Text LogFilePath() noexcept;

// Appends `line` and CR LF to the file at `path`, creating it. Failures are dropped.
void WriteLogLine(TextView path, TextView line) noexcept;

// The handler of an operation: reports the exception in flight under `source`, line 0, no
// message box. Call only inside a catch block.
void ReportCaughtError(TextView source) noexcept;

// The same, with " [" + `name` + "]" added to the description.
void ReportCaughtError(TextView source, TextView name) noexcept;

// The usual end of an operation: runs `body`; an exception that ends it is reported under
// `source` (ReportCaughtError) and the result type's neutral value (0, null, empty text,
// nothing) is returned in place of the body's.
template <class Body>
auto ReportFailures(TextView source, Body&& body) noexcept -> decltype(body()) {
  using Result = decltype(body());
  return win::ExceptionBarrier(body, [source](bool) -> Result {
    ReportCaughtError(source);
    return Result();
  });
}

}  // namespace MarrowjetUI

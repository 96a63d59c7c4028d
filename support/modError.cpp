#include "modError.h"

#include <cstdio>

#include "ObjectError.h"
#include "RegKey.h"
#include "win/UniqueResource.h"

#include <qv/diagnostics.h>
#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

// The monitor spells it "SOFTWARE\\...": registry names ignore case, so both read the one key.
constexpr const WCHAR* kConfigurationKey = WSTR("Software\\Drennic\\Quorvane");
constexpr const WCHAR* kLogFileValue = WSTR("LogFile");

// While the log file's path is looked up, the registry key wrapper's own reports are dropped,
// so that a failed lookup can't report itself again and again.
thread_local int t_lookupDepth = 0;

class LookupInProgress {
 public:
  LookupInProgress() { ++t_lookupDepth; }
  ~LookupInProgress() { --t_lookupDepth; }
  LookupInProgress(const LookupInProgress&) = delete;
  LookupInProgress& operator=(const LookupInProgress&) = delete;
};

Text Padded(Text text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), WCHAR(' '));
  return text;
}

// Object errors (negative numbers) are written as the number minus the object error base.
long long LoggedCode(LONG number) {
  return number < 0 ? static_cast<long long>(number) - kObjectErrorBase : number;
}

// "YYYY/MM/DD HH:MM:SS code source description", code padded to 10 and source to 20.
Text LogLine(LONG number, TextView description, TextView source) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04u/%02u/%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  return FromCodePage(stamp) + WSTR(" ") + Padded(DecimalText(LoggedCode(number)), 10) + WSTR(" ") +
         Padded(EscapeControlCharacters(source), 20) + WSTR(" ") + EscapeControlCharacters(description);
}

Text MessageBoxText(LONG number, TextView description, TextView source, LONG line) {
  const Text crlf = WSTR("\r\n");
  return WSTR("Error code: ") + DecimalText(number) + crlf + WSTR("Error description: ") + Text(description) +
         crlf + WSTR("Error source: ") + Text(source) + crlf + WSTR("Error line: ") + DecimalText(line);
}

}  // namespace

void ReportError(LONG number, TextView description, TextView source, LONG line, bool show) noexcept {
  if (t_lookupDepth > 0) return;
  win::ExceptionBarrier([&] {
    if (show) {
      const Text text = MessageBoxText(number, description, source, line);
      MessageBoxW(nullptr, text.c_str(), WSTR("Quorvane Error"), MB_OK | MB_ICONERROR);
    }
    const Text entry = LogLine(number, description, source);
    const Text path = LogFilePath();
    if (!path.empty()) WriteLogLine(path, entry);
    // Then the host's sink, whether or not a log file took the line.
    const Text descriptionText(description);
    const Text sourceText(source);
    QvReportFailure(number, descriptionText.c_str(), sourceText.c_str());
  }, [](bool) {
    // A report that fails ends silently.
  });
}

Text MessageText(LONG code) noexcept {
  return ReportFailures(WSTR("MessageText"), [&]() -> Text {
    char buffer[256];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(code),
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
    if (length == 0) return WSTR("Error not found.");
    // System texts end in CR LF, which a message inside a line must not carry.
    return FromCodePage(std::string_view(buffer, length >= 2 ? length - 2 : 0));
  });
}

Text LogFilePath() noexcept {
  return win::ExceptionBarrier([] {
    LookupInProgress lookup;
    RegKey key;
    key.OpenKey(HKEY_LOCAL_MACHINE, kConfigurationKey);
    Text path = key.ReadString(kLogFileValue);
    key.CloseKey();
    return path;
  }, [](bool) { return Text(); });
}

void WriteLogLine(TextView path, TextView line) noexcept {
  win::ExceptionBarrier([&] {
    const std::string fileName = ToCodePage(path);
    const std::string bytes = ToCodePage(line) + "\r\n";
    // Opened for appending: a line written by another process at the same moment is not overwritten.
    const win::UniqueHandle file(CreateFileA(fileName.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }, [](bool) {
    // The log is best effort: a line that can't be written is dropped.
  });
}

void ReportCaughtError(TextView source) noexcept {
  const CaughtError error = DescribeCaughtError();
  ReportError(error.number, error.description, source, 0, false);
}

void ReportCaughtError(TextView source, TextView name) noexcept {
  const CaughtError error = DescribeCaughtError();
  // Without memory for the longer description, the error is reported without the name.
  win::ExceptionBarrier(
      [&] { ReportError(error.number, error.description + WSTR(" [") + Text(name) + WSTR("]"), source, 0, false); },
      [&](bool) { ReportError(error.number, error.description, source, 0, false); });
}

}  // namespace MarrowjetUI

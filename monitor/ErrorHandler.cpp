#include "ErrorHandler.h"

#include "CodePageText.h"

#include <qv/diagnostics.h>

#include <string>
#include "win/ExceptionBarrier.h"
#include "win/UniqueResource.h"
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

LocalTimeSource ErrorHandlerClock = &GetLocalTime;

namespace {

constexpr WCHAR kConfigurationKey[] = WSTR("SOFTWARE\\Drennic\\Quorvane");
constexpr WCHAR kLogFileValue[] = WSTR("LogFile");
constexpr WCHAR kFormatFailed[] = WSTR("FormatMessage Failed in ErrorHandler");
constexpr DWORD kTextSize = 260;  // wide characters, terminator included

// The system's text for the code, with the line break system texts end in.
win::WideString Description(LONG code) {
  WCHAR text[kTextSize] = {};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(code), 0, text, kTextSize, nullptr);
  if (length == 0 || length >= kTextSize) return kFormatFailed;
  return win::WideString(text, length);
}

win::WideString Wide(const std::string& ascii) { return win::WideString(ascii.begin(), ascii.end()); }

// Left-justified in `width` characters; a longer text is kept whole.
std::string Field(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

void Show(LONG code, const win::WideString& description, LPCWSTR source, HWND owner) {
  const win::WideString text = WSTR("Error: ") + Wide(std::to_string(code)) + WSTR("\n") + WSTR("Description: ") +
                              description + WSTR("\n") + WSTR("Source: ") + source + WSTR("\n");
  MessageBoxW(owner, text.c_str(), WSTR("Error"), MB_ICONWARNING);
}

// The description with its control characters escaped, except the line break it ends in, which
// ends the entry.
win::WideString EscapedDescription(const win::WideString& description) {
  size_t end = description.size();
  while (end > 0 && (description[end - 1] == WCHAR('\r') || description[end - 1] == WCHAR('\n'))) --end;
  return EscapeControlCharacters(description.substr(0, end)) + description.substr(end);
}

// "D /M /YYYY H :M     code       source               description": day, month, year, hour
// and minute, the code and the source in fixed widths; the description's own line break ends
// the entry. No separator beyond the padding: a source of 21 characters or more runs into the
// description, as the log's readers expect.
std::string Entry(const SYSTEMTIME& now, LONG code, LPCWSTR source, const win::WideString& description) {
  return Field(std::to_string(now.wDay), 2) + "/" + Field(std::to_string(now.wMonth), 2) + "/" +
         Field(std::to_string(now.wYear), 5) + Field(std::to_string(now.wHour), 2) + ":" +
         Field(std::to_string(now.wMinute), 6) + Field(std::to_string(code), 11) +
         Field(CodePageText(EscapeControlCharacters(source)), 21) + CodePageText(EscapedDescription(description));
}

// The log file's path: "LogFile" of any type, up to kTextSize - 1 characters, as it is stored.
bool ReadLogFilePath(HKEY configuration, win::WideString& path) {
  WCHAR value[kTextSize + 1] = {};  // one more, so that a value stored without terminator ends
  DWORD size = kTextSize * sizeof(WCHAR);
  if (RegQueryValueExW(configuration, kLogFileValue, nullptr, nullptr, reinterpret_cast<LPBYTE>(value), &size) !=
      ERROR_SUCCESS)
    return false;
  value[size / sizeof(WCHAR)] = 0;
  path = value;
  return true;
}

// Opens the log file for appending, creating it when missing: entries other processes append
// at the same moment are not overwritten.
win::UniqueHandle OpenLogFile(const std::string& path) {
  return win::UniqueHandle(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Appends the entry to the configured log file; without a key, a value or an openable file
// nothing is written.
void AppendToLog(LONG code, LPCWSTR source, const win::WideString& description) {
  win::UniqueHKey configuration;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kConfigurationKey, 0, KEY_ALL_ACCESS, configuration.Out()) != ERROR_SUCCESS)
    return;
  win::WideString path;
  if (!ReadLogFilePath(configuration.Get(), path)) return;
  const win::UniqueHandle log = OpenLogFile(CodePageText(path));
  if (!log) return;
  SYSTEMTIME now{};
  ErrorHandlerClock(&now);
  const std::string entry = Entry(now, code, source, description);
  DWORD written = 0;
  WriteFile(log.Get(), entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
}

}  // namespace

void ErrorHandler(LONG code, LPCWSTR source, bool show, HWND owner) noexcept {
  win::ExceptionBarrier([&] {
    if (!source) source = WSTR("");
    const win::WideString description = Description(code);
    // The box comes first: it is shown even when nothing can be logged.
    if (show) Show(code, description, source, owner);
    AppendToLog(code, source, description);
    // Then the host's sink, whether or not a log file took the entry.
    QvReportFailure(code, description.c_str(), source);
  }, [](bool) {
    // A report that can't be made ends here: there is no one to tell.
  });
}

}  // namespace Quorvane

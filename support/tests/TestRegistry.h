// Registry set-up for the job processor's tests, through the platform's wide calls, and the
// log file that "LogFile" names, read back line by line.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace jobproc_testing {

inline constexpr const char* kMonitorKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";
inline constexpr const char* kConfigurationKey = "SOFTWARE\\Drennic\\Quorvane";

void CreateKey(const std::string& path);
void SetText(const std::string& path, const std::string& name, const std::string& value);
void SetDword(const std::string& path, const std::string& name, DWORD value);
void DeleteValue(const std::string& path, const std::string& name);
// The text value, or "<absent>" when there is none.
std::string ReadText(const std::string& path, const std::string& name);
bool KeyExists(const std::string& path);

// Points "LogFile" at `path` and reads back what was appended there.
class LogFile {
 public:
  explicit LogFile(std::string path);
  const std::string& Path() const { return path_; }
  // Each line without its date and time and without its CR LF.
  std::vector<std::string> Entries() const;
  // Whole lines as stored, CR LF included.
  std::string Contents() const;

 private:
  std::string path_;
};

// The part of a log line after the date and time: code padded to 10, source to 20.
std::string Entry(long long code, const std::string& source, const std::string& description);

// The system's text for a status code, without its closing CR LF.
std::string SystemText(DWORD code);

// A file holding `bytes`.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

}  // namespace jobproc_testing

// A monitor log read back as entries: each ends with the line break of its description.
#pragma once
#include <string>
#include <vector>

struct LogEntry {
  std::string stamp;   // day, month, year, hour and minute: 20 characters
  std::string code;    // the code field, 11 characters
  std::string source;  // the source field, 21 characters
  std::string text;    // the description, without its line break
};

// `text` left-justified in `width` characters, as a field of an entry.
inline std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

inline std::vector<LogEntry> LogEntries(const std::string& log) {
  std::vector<LogEntry> entries;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    LogEntry entry;
    entry.stamp = line.substr(0, 20);
    if (line.size() > 20) entry.code = line.substr(20, 11);
    if (line.size() > 31) entry.source = line.substr(31, 21);
    if (line.size() > 52) entry.text = line.substr(52);
    entries.push_back(entry);
    start = end + 2;
  }
  return entries;
}

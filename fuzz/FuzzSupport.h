// What every fuzz target shares: reading its input as lines, and failing a check so that
// libFuzzer counts the input as a crash and saves it.
#pragma once
#include <qv/utf.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace qv::fuzz {

// The input's text split at "\n"; at least `count` lines (missing ones empty). Everything after
// line `count` - 1 stays in the last one.
inline std::vector<std::string> Lines(const uint8_t* data, size_t size, size_t count) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  while (lines.size() + 1 < count) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) break;
    lines.emplace_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  lines.emplace_back(text);
  lines.resize(count);
  return lines;
}

// The numbers of a line, separated by blanks; anything that is not a number counts as 0.
inline std::vector<long long> Numbers(const std::string& line, size_t count) {
  std::vector<long long> numbers;
  const char* at = line.c_str();
  while (numbers.size() < count && *at) {
    char* end = nullptr;
    const long long value = std::strtoll(at, &end, 10);
    numbers.push_back(end == at ? 0 : value);
    at = end == at ? at + 1 : end;
  }
  numbers.resize(count);
  return numbers;
}

// Sets a text value below HKEY_LOCAL_MACHINE, creating the key; false when that failed.
inline bool SetRegistryText(std::u16string_view path, std::u16string_view name, std::u16string_view text) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, std::u16string(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const std::u16string value(text);
  const LSTATUS status = RegSetValueExW(key, std::u16string(name).c_str(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(value.c_str()),
                                        static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

[[noreturn]] inline void Fail(const char* check, const char* file, int line, const std::string& detail) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n%s\n", file, line, check, detail.c_str());
  std::abort();
}

}  // namespace qv::fuzz

// Aborts (a crash for libFuzzer) when `condition` is false; `detail` tells what was seen.
#define FUZZ_CHECK(condition, detail) \
  do {                                \
    if (!(condition)) ::qv::fuzz::Fail(#condition, __FILE__, __LINE__, (detail)); \
  } while (false)

#include "TypeLibraryFile.h"

#include "ClassKeys.h"

#include <qv/typelib.h>
#include <qv/utf.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace qv::com {
namespace {

constexpr std::string_view kFirstLine = "QUORVANE TYPELIB 1";
// A real file is a few hundred bytes; anything far larger is not one of ours.
constexpr size_t kLargestFile = 64 * 1024;

bool ParseHex(std::string_view text, uint32_t largest, uint32_t& value) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return error == std::errc() && end == text.data() + text.size() && value <= largest;
}

bool ParseVersion(std::string_view text, TLIBATTR& attributes) {
  size_t dot = text.find('.');
  uint32_t major = 0, minor = 0;
  if (dot == std::string_view::npos || !ParseHex(text.substr(0, dot), 0xFFFF, major) ||
      !ParseHex(text.substr(dot + 1), 0xFFFF, minor))
    return false;
  attributes.wMajorVerNum = static_cast<WORD>(major);
  attributes.wMinorVerNum = static_cast<WORD>(minor);
  return true;
}

bool ParseSystemKind(std::string_view text, SYSKIND& kind) {
  for (SYSKIND candidate : {SYS_WIN16, SYS_WIN32, SYS_MAC, SYS_WIN64})
    if (qv::ToUtf16(text) == SystemKindName(candidate)) {
      kind = candidate;
      return true;
    }
  return false;
}

// Splits the lines after the first into key and value; false on a line without "=" or a key
// given twice.
bool SplitEntries(std::string_view text, std::map<std::string, std::string_view>& entries) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    if (!entries.emplace(std::string(line.substr(0, equals)), line.substr(equals + 1)).second)
      return false;
  }
  return true;
}

std::string Hex(unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%x", value);
  return buffer;
}

bool HasLineBreak(const std::u16string& text) {
  return text.find_first_of(u"\r\n") != std::u16string::npos;
}

}  // namespace

std::optional<TypeLibraryData> ParseTypeLibraryText(std::string_view text) {
  // A null character would silently cut a name short.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  size_t firstEnd = text.find('\n');
  std::string_view first = text.substr(0, firstEnd);
  if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
  if (first != kFirstLine) return std::nullopt;
  std::map<std::string, std::string_view> entries;
  if (firstEnd != std::string_view::npos && !SplitEntries(text.substr(firstEnd + 1), entries))
    return std::nullopt;
  for (const char* required : {"guid", "version", "lcid", "syskind"})
    if (!entries.count(required)) return std::nullopt;

  TypeLibraryData data;
  TLIBATTR& attributes = data.attributes;
  uint32_t lcid = 0, flags = 0;
  if (FAILED(CLSIDFromString(qv::ToUtf16(entries["guid"]).c_str(), &attributes.guid)) ||
      !ParseVersion(entries["version"], attributes) ||
      !ParseHex(entries["lcid"], 0xFFFFFFFF, lcid) ||
      !ParseSystemKind(entries["syskind"], attributes.syskind))
    return std::nullopt;
  if (entries.count("flags") && !ParseHex(entries["flags"], 0xFFFF, flags)) return std::nullopt;
  attributes.lcid = lcid;
  attributes.wLibFlags = static_cast<WORD>(flags);
  if (entries.count("name")) data.name = qv::ToUtf16(entries["name"]);
  if (entries.count("helpstring")) data.helpString = qv::ToUtf16(entries["helpstring"]);
  return data;
}

std::optional<TypeLibraryData> ReadTypeLibraryFile(const std::string& hostPath) {
  std::ifstream file(hostPath, std::ios::binary);
  if (!file) return std::nullopt;
  std::string text(kLargestFile + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) return std::nullopt;
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > kLargestFile) return std::nullopt;
  return ParseTypeLibraryText(text);
}

std::optional<std::string> FormatTypeLibraryText(const TYPELIBRECORD& record) {
  std::optional<TypeLibraryData> data = DataOfRecord(record);
  if (!data || HasLineBreak(data->name) || HasLineBreak(data->helpString)) return std::nullopt;
  const TLIBATTR& attributes = data->attributes;
  std::ostringstream text;
  text << kFirstLine << '\n'
       << "guid=" << qv::ToUtf8(GuidText(attributes.guid)) << '\n'
       << "version=" << Hex(attributes.wMajorVerNum) << '.' << Hex(attributes.wMinorVerNum) << '\n'
       << "lcid=" << Hex(attributes.lcid) << '\n'
       << "syskind=" << qv::ToUtf8(SystemKindName(attributes.syskind)) << '\n'
       << "flags=" << Hex(attributes.wLibFlags) << '\n';
  if (record.name) text << "name=" << qv::ToUtf8(data->name) << '\n';
  if (record.helpString) text << "helpstring=" << qv::ToUtf8(data->helpString) << '\n';
  return text.str();
}

}  // namespace qv::com

namespace qv {

bool WriteTypeLibraryFile(const std::string& path, const TYPELIBRECORD& record) {
  try {
    std::optional<std::string> text = com::FormatTypeLibraryText(record);
    if (!text) return false;
    // Replaced whole: a reader never sees half a file.
    const std::string temporary = path + ".new";
    {
      std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
      file << *text;
      file.flush();
      if (!file) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
      }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (!error) return true;
    std::filesystem::remove(temporary, error);
    return false;
  } catch (...) {
    return false;
  }
}

}  // namespace qv


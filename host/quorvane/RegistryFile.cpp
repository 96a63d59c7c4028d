#include "RegistryFile.h"

#include "Command.h"
#include "RegistryData.h"

#include <qv/utf.h>

#include <cctype>
#include <cstdio>

namespace qv::cli {

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr size_t kLineWidth = 80;

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// A REG_SZ that the quoted form gives back exactly: one terminator at the end, no other NUL,
// no line breaks.
bool IsPlainString(std::string_view data) {
  if (data.size() < 2 || data.size() % 2) return false;
  std::u16string text = TextOfStored(data);
  if (text.back() != u'\0') return false;
  text.pop_back();
  return text.find_first_of(std::u16string(u"\0\r\n", 3)) == std::u16string::npos;
}

// name=hex(...):xx,xx,... wrapped as regedit wraps it, continued lines ending in "\".
std::string HexValue(std::string head, std::string_view data) {
  std::string text;
  std::string line = std::move(head);
  for (size_t i = 0; i < data.size(); ++i) {
    char token[4];
    std::snprintf(token, sizeof token, "%02x%s", static_cast<unsigned char>(data[i]), i + 1 < data.size() ? "," : "");
    if (line.size() + 3 + 1 > kLineWidth && line.size() > 2) {
      text += line + "\\\n";
      line = "  ";
    }
    line += token;
  }
  return text + line + "\n";
}

std::string ValueText(const RegistryValue& value) {
  std::string name = value.name.empty() ? "@" : Quote(qv::ToUtf8(value.name));
  if (value.type == REG_SZ && IsPlainString(value.data)) {
    std::u16string text = TextOfStored(value.data);
    text.pop_back();
    return name + "=" + Quote(qv::ToUtf8(text)) + "\n";
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[i]);
    char text[16];
    std::snprintf(text, sizeof text, "%08x", number);
    return name + "=dword:" + text + "\n";
  }
  char type[16];
  std::snprintf(type, sizeof type, "(%x)", value.type);
  return HexValue(name + "=hex" + (value.type == REG_BINARY ? "" : type) + ":", value.data);
}

LSTATUS ExportKey(HKEY key, const RegistryPath& path, std::string& text) {
  RegistryKey opened;
  if (LSTATUS status = opened.Open(key, u"")) return status;
  std::string failedPath;
  return WalkTree(opened, path.Text(), [&](const RegistryKey& each, const std::string& name) -> LSTATUS {
    // Appended piece by piece: g++ 12 at -O3 gives a false -Wrestrict for "[" + std::string.
    text += '[';
    text += name;
    text += "]\n";
    std::vector<RegistryValue> values;
    if (LSTATUS status = each.Values(values)) return status;
    for (const RegistryValue& value : values) text += ValueText(value);
    text += "\n";
    return ERROR_SUCCESS;
  }, failedPath);
}

// Reading ---------------------------------------------------------------------------------

std::string Trim(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return std::string();
  size_t end = text.find_last_not_of(" \t");
  return std::string(text.substr(begin, end - begin + 1));
}

std::string Utf8Content(const std::string& content) {
  if (content.size() >= 2 && static_cast<unsigned char>(content[0]) == 0xFF &&
      static_cast<unsigned char>(content[1]) == 0xFE)
    return qv::ToUtf8(TextOfStored(std::string_view(content).substr(2)));
  if (content.rfind("\xEF\xBB\xBF", 0) == 0) return content.substr(3);
  return content;
}

struct LogicalLine {
  std::string text;
  int number;
};

// Splits into lines and joins continued ones (a line ending in "\").
std::vector<LogicalLine> LogicalLines(const std::string& content) {
  std::vector<LogicalLine> lines;
  bool continued = false;
  int number = 0;
  size_t start = 0;
  while (start <= content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++number;
    std::string trimmed = Trim(line);
    if (continued) lines.back().text += trimmed;
    else lines.push_back({trimmed, number});
    continued = !lines.back().text.empty() && lines.back().text.back() == '\\' && lines.back().text[0] != '[';
    if (continued) lines.back().text.pop_back();
    start = end + 1;
  }
  return lines;
}

class LineParser {
 public:
  LineParser(const std::string& text, const std::string& where) : text_(text), where_(where) {}

  [[noreturn]] void Problem(const std::string& what) const { throw Failure(where_ + ": " + what); }

  bool Done() const { return pos_ >= text_.size(); }
  bool Take(std::string_view prefix) {
    if (text_.compare(pos_, prefix.size(), prefix) != 0) return false;
    pos_ += prefix.size();
    return true;
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  std::string Rest() const { return text_.substr(pos_); }

  std::string Quoted() {
    if (!Take("\"")) Problem("expected a quoted name or text");
    std::string value;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;
      value += text_[pos_++];
    }
    if (!Take("\"")) Problem("a quoted text has no closing quote");
    return value;
  }

  std::string HexBytes() {
    std::string bytes;
    std::string list = Rest();
    pos_ = text_.size();
    if (Trim(list).empty()) return bytes;
    size_t start = 0;
    while (true) {
      size_t comma = list.find(',', start);
      std::string token = Trim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
      bool valid = !token.empty() && token.size() <= 2 &&
                   std::isxdigit(static_cast<unsigned char>(token[0])) &&
                   std::isxdigit(static_cast<unsigned char>(token.back()));
      if (!valid) Problem("bad hex byte \"" + token + "\"");
      bytes += static_cast<char>(std::stoi(token, nullptr, 16));
      if (comma == std::string::npos) return bytes;
      start = comma + 1;
    }
  }

 private:
  const std::string& text_;
  std::string where_;
  size_t pos_ = 0;
};

uint32_t ParseHexNumber(const std::string& digits, size_t maxDigits, const LineParser& parser) {
  bool valid = !digits.empty() && digits.size() <= maxDigits;
  for (char c : digits) valid = valid && std::isxdigit(static_cast<unsigned char>(c));
  if (!valid) parser.Problem("bad number \"" + digits + "\"");
  return static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
}

RegistryValue ParseValueData(LineParser& parser, RegistryValue value, bool& remove) {
  remove = false;
  if (parser.Take("-")) {
    remove = true;
  } else if (parser.Rest().rfind("\"", 0) == 0) {
    value.type = REG_SZ;
    value.data = StoredText(qv::ToUtf16(parser.Quoted()) + u'\0');
  } else if (parser.Take("dword:")) {
    uint32_t number = ParseHexNumber(Trim(parser.Rest()), 8, parser);
    value.type = REG_DWORD;
    value.data.clear();
    for (int i = 0; i < 4; ++i) value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
    return value;
  } else if (parser.Take("hex(")) {
    std::string rest = parser.Rest();
    size_t close = rest.find("):");
    if (close == std::string::npos) parser.Problem("bad hex type");
    value.type = ParseHexNumber(rest.substr(0, close), 8, parser);
    parser.Take(rest.substr(0, close + 2));
    value.data = parser.HexBytes();
  } else if (parser.Take("hex:")) {
    value.type = REG_BINARY;
    value.data = parser.HexBytes();
  } else {
    parser.Problem("bad value data \"" + parser.Rest() + "\"");
  }
  parser.SkipBlanks();
  if (!parser.Done()) parser.Problem("unexpected text \"" + parser.Rest() + "\" after the value");
  return value;
}

}  // namespace

LSTATUS ExportTree(const RegistryPath& path, std::string& text) {
  RegistryKey top;
  if (LSTATUS status = top.Open(path.root, path.Sub())) return status;
  text = std::string(kHeader) + "\n\n";
  return ExportKey(top.Get(), path, text);
}

LSTATUS ApplyRegistryChange(const RegistryChange& change) {
  RegistryKey key;
  switch (change.kind) {
    case RegistryChange::kCreateKey:
      return key.Create(change.key.root, change.key.Sub());
    case RegistryChange::kDeleteKey: {
      LSTATUS status = DeleteTree(change.key.root, change.key.Sub());
      return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
    case RegistryChange::kSetValue:
      if (LSTATUS status = key.Create(change.key.root, change.key.Sub())) return status;
      return key.Set(change.value);
    case RegistryChange::kDeleteValue: {
      LSTATUS status = key.Open(change.key.root, change.key.Sub());
      if (status == ERROR_SUCCESS) status = key.Delete(change.value.name);
      return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
  }
  return ERROR_INVALID_PARAMETER;
}

std::vector<RegistryChange> ParseRegistryFile(const std::string& content, const std::string& fileName) {
  std::vector<RegistryChange> changes;
  std::vector<LogicalLine> lines = LogicalLines(Utf8Content(content));
  bool headerSeen = false;
  bool inKey = false;
  RegistryPath current;
  for (const LogicalLine& line : lines) {
    std::string where = fileName + ":" + std::to_string(line.number);
    LineParser parser(line.text, where);
    if (line.text.empty() || line.text[0] == ';') continue;
    if (!headerSeen) {
      if (line.text != kHeader) parser.Problem(std::string("not a registry file: the first line must be \"") + kHeader + "\"");
      headerSeen = true;
      continue;
    }
    if (line.text[0] == '[') {
      if (line.text.back() != ']') parser.Problem("a key line must end in \"]\"");
      std::string inner = line.text.substr(1, line.text.size() - 2);
      bool remove = !inner.empty() && inner[0] == '-';
      std::string problem;
      if (!ParseRegistryPath(remove ? inner.substr(1) : inner, current, problem)) parser.Problem(problem);
      if (remove && current.sub.empty()) parser.Problem("a root key can't be deleted");
      if (!remove && !CanCreateKeys(current, problem)) parser.Problem(problem);
      changes.push_back({remove ? RegistryChange::kDeleteKey : RegistryChange::kCreateKey, current, {}, line.number});
      inKey = !remove;
      continue;
    }
    if (!inKey) parser.Problem("a value outside any key");
    RegistryValue value;
    if (!parser.Take("@")) value.name = qv::ToUtf16(parser.Quoted());
    // Names reach the registry calls up to their first NUL: another value would be changed.
    if (value.name.find(u'\0') != std::u16string::npos) parser.Problem("a value name can't hold a NUL character");
    parser.SkipBlanks();
    if (!parser.Take("=")) parser.Problem("expected \"=\" after the value name");
    parser.SkipBlanks();
    bool remove = false;
    value = ParseValueData(parser, std::move(value), remove);
    changes.push_back({remove ? RegistryChange::kDeleteValue : RegistryChange::kSetValue, current, value, line.number});
  }
  if (!headerSeen) throw Failure(fileName + ": not a registry file: it is empty");
  return changes;
}

}  // namespace qv::cli

#include "RegistryData.h"

#include <qv/utf.h>

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace qv::cli {

namespace {

struct TypeEntry {
  DWORD type;
  const char* name;
  bool settable;  // accepted by reg add
};

const TypeEntry kTypes[] = {
    {REG_NONE, "REG_NONE", false},
    {REG_SZ, "REG_SZ", true},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ", true},
    {REG_BINARY, "REG_BINARY", true},
    {REG_DWORD, "REG_DWORD", true},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN", false},
    {REG_LINK, "REG_LINK", false},
    {REG_MULTI_SZ, "REG_MULTI_SZ", true},
    {REG_QWORD, "REG_QWORD", true},
};

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// Decimal, or hexadecimal after "0x"; the whole text must be the number.
bool ParseNumber(const std::string& text, uint64_t limit, uint64_t& value) {
  if (text.empty()) {
    value = 0;
    return true;
  }
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  std::string_view digits = std::string_view(text).substr(hex ? 2 : 0);
  value = 0;
  for (char c : digits) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    uint64_t base = hex ? 16 : 10;
    if (value > (limit - digit) / base) return false;
    value = value * base + digit;
  }
  return !digits.empty();
}

std::string LittleEndian(uint64_t value, size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

uint64_t FromLittleEndian(std::string_view bytes) {
  uint64_t value = 0;
  for (size_t i = bytes.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

}  // namespace

std::string TypeName(DWORD type) {
  for (const TypeEntry& entry : kTypes)
    if (entry.type == type) return entry.name;
  char text[32];
  std::snprintf(text, sizeof text, "0x%" PRIx32, type);
  return text;
}

bool ParseTypeName(std::string_view name, DWORD& type) {
  std::string upper = Upper(name);
  for (const TypeEntry& entry : kTypes)
    if (entry.settable && upper == entry.name) {
      type = entry.type;
      return true;
    }
  return false;
}

std::string StoredText(std::u16string_view text) {
  std::string bytes(text.size() * sizeof(char16_t), '\0');
  std::memcpy(bytes.data(), text.data(), bytes.size());
  return bytes;
}

std::u16string TextOfStored(std::string_view data) {
  std::u16string text(data.size() / sizeof(char16_t), u'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(char16_t));
  return text;
}

bool DataFromText(DWORD type, const std::string& text, const std::string& separator, std::string& data,
                  std::string& problem) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      data = StoredText(qv::ToUtf16(text) + u'\0');
      return true;
    case REG_MULTI_SZ: {
      std::u16string items;
      size_t start = 0;
      while (!text.empty()) {
        size_t end = text.find(separator, start);
        std::string item = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (item.empty()) {
          problem = "bad REG_MULTI_SZ data \"" + text + "\": it has an empty item";
          return false;
        }
        items += qv::ToUtf16(item) + u'\0';
        if (end == std::string::npos) break;
        start = end + separator.size();
      }
      items += u'\0';
      data = StoredText(items);
      return true;
    }
    case REG_DWORD:
    case REG_QWORD: {
      uint64_t value = 0;
      bool dword = type == REG_DWORD;
      if (!ParseNumber(text, dword ? 0xFFFFFFFFull : ~0ull, value)) {
        problem = "bad " + TypeName(type) + " data \"" + text + "\": give a number (decimal, or hex after 0x)";
        return false;
      }
      data = LittleEndian(value, dword ? 4 : 8);
      return true;
    }
    case REG_BINARY: {
      bool hexDigits = std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
      if (!hexDigits || text.size() % 2) {
        problem = "bad REG_BINARY data \"" + text + "\": give pairs of hex digits";
        return false;
      }
      data.clear();
      for (size_t i = 0; i < text.size(); i += 2)
        data += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
      return true;
    }
    default:
      problem = "type " + TypeName(type) + " can't be set";
      return false;
  }
}

std::string DisplayData(DWORD type, std::string_view data) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::u16string text = TextOfStored(data);
      return qv::ToUtf8(text.substr(0, text.find(u'\0')));
    }
    case REG_MULTI_SZ: {
      std::u16string text = TextOfStored(data);
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      std::string shown;
      for (size_t start = 0;;) {
        size_t end = text.find(u'\0', start);
        shown += qv::ToUtf8(std::u16string_view(text).substr(start, end == std::u16string::npos ? end : end - start));
        if (end == std::u16string::npos) return shown;
        shown += "\\0";
        start = end + 1;
      }
    }
    case REG_DWORD:
    case REG_QWORD:
      if (data.size() == (type == REG_DWORD ? 4u : 8u)) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%" PRIx64, FromLittleEndian(data));
        return text;
      }
      [[fallthrough]];
    default: {
      std::string hex;
      char pair[3];
      for (char byte : data) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(byte));
        hex += pair;
      }
      return hex;
    }
  }
}

}  // namespace qv::cli

#include "TestRegistry.h"

#include <gtest/gtest.h>
#include <qv/utf.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace jobproc_testing {
namespace {

class Key {
 public:
  Key(const std::string& path, bool create) {
    const std::u16string wide = qv::ToUtf16(path);
    status_ = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                       &key_, nullptr)
                     : RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, KEY_ALL_ACCESS, &key_);
    if (create && status_ != ERROR_SUCCESS) throw std::runtime_error("cannot create key " + path);
  }
  ~Key() {
    if (status_ == ERROR_SUCCESS) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  bool Open() const { return status_ == ERROR_SUCCESS; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  LSTATUS status_ = ERROR_FILE_NOT_FOUND;
};

}  // namespace

void CreateKey(const std::string& path) { Key key(path, true); }

void SetText(const std::string& path, const std::string& name, const std::string& value) {
  Key key(path, true);
  const std::u16string wide = qv::ToUtf16(value);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), qv::ToUtf16(name).c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(wide.c_str()),
                                          static_cast<DWORD>((wide.size() + 1) * sizeof(WCHAR))));
}

void SetDword(const std::string& path, const std::string& name, DWORD value) {
  Key key(path, true);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), qv::ToUtf16(name).c_str(), 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&value), sizeof value));
}

void DeleteValue(const std::string& path, const std::string& name) {
  Key key(path, false);
  if (key.Open()) RegDeleteValueW(key.Get(), qv::ToUtf16(name).c_str());
}

std::string ReadText(const std::string& path, const std::string& name) {
  Key key(path, false);
  if (!key.Open()) return "<absent>";
  const std::u16string wideName = qv::ToUtf16(name);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return "<absent>";
  if (type != REG_SZ) return "<not text>";
  std::u16string data(size / sizeof(WCHAR) + 1, u'\0');
  RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  data.resize(size / sizeof(WCHAR));
  while (!data.empty() && data.back() == u'\0') data.pop_back();
  return qv::ToUtf8(data);
}

bool KeyExists(const std::string& path) { return Key(path, false).Open(); }

LogFile::LogFile(std::string path) : path_(std::move(path)) { SetText(kConfigurationKey, "LogFile", path_); }

std::vector<std::string> LogFile::Entries() const {
  std::vector<std::string> entries;
  std::istringstream lines(Contents());
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // "YYYY/MM/DD HH:MM:SS " comes first.
    entries.push_back(line.size() >= 20 ? line.substr(20) : line);
  }
  return entries;
}

std::string LogFile::Contents() const { return ReadFile(path_); }

std::string Entry(long long code, const std::string& source, const std::string& description) {
  std::string codeText = std::to_string(code);
  codeText.resize(std::max<size_t>(codeText.size(), 10), ' ');
  std::string sourceText = source;
  sourceText.resize(std::max<size_t>(sourceText.size(), 20), ' ');
  return codeText + " " + sourceText + " " + description;
}

std::string SystemText(DWORD code) {
  char text[256];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, sizeof text, nullptr);
  return length >= 2 ? std::string(text, length - 2) : std::string();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace jobproc_testing

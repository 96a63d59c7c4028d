#include "TestLog.h"

#include <qv/utf.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

void SetLogFile(const std::string& path, DWORD type) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Drennic\\Quorvane", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::u16string value = qv::ToUtf16(path);
  const bool terminated = type == REG_SZ || type == REG_EXPAND_SZ;
  const DWORD bytes = static_cast<DWORD>((value.size() + (terminated ? 1 : 0)) * sizeof(char16_t));
  EXPECT_EQ(RegSetValueExW(key, u"LogFile", 0, type, reinterpret_cast<const BYTE*>(value.c_str()), bytes),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

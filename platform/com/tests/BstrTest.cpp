#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

DWORD Prefix(BSTR text) {
  DWORD bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const BYTE*>(text) - sizeof(DWORD), sizeof(DWORD));
  return bytes;
}

TEST(Bstr, LaidOutWithByteLengthPrefixAndTerminator) {
  struct Case {
    const OLECHAR* source;
    UINT length;
  };
  for (Case c : {Case{WSTR("abc"), 3}, Case{WSTR(""), 0}, Case{WSTR("a\0b"), 3},
                 Case{WSTR("\u00e9\U0001F600"), 3}}) {
    BSTR text = SysAllocStringLen(c.source, c.length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(Prefix(text), c.length * 2);
    EXPECT_EQ(SysStringLen(text), c.length);
    EXPECT_EQ(SysStringByteLen(text), c.length * 2);
    EXPECT_EQ(std::memcmp(text, c.source, c.length * 2), 0);
    EXPECT_EQ(text[c.length], 0);
    SysFreeString(text);
  }
}

TEST(Bstr, AllocStringStopsAtTheTerminator) {
  BSTR text = SysAllocString(WSTR("Port1"));
  EXPECT_EQ(SysStringLen(text), 5u);
  EXPECT_EQ(std::u16string(text), WSTR("Port1"));
  SysFreeString(text);
  BSTR empty = SysAllocString(WSTR(""));
  ASSERT_NE(empty, nullptr);  // an empty string, never a null one
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
}

TEST(Bstr, WithoutSourceGivesZeroedBufferOfThatLength) {
  BSTR text = SysAllocStringLen(nullptr, 8);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text), 8u);
  for (UINT i = 0; i <= 8; ++i) EXPECT_EQ(text[i], 0);
  SysFreeString(text);
}

TEST(Bstr, NullIsAnEmptyString) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);  // too long to describe
}

}  // namespace

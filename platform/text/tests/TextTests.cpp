#include <gtest/gtest.h>
#include <qv/utf.h>
#include <windows.h>

#include <string>
#include <thread>

namespace {

TEST(LastError, BelongsToTheCallingThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seenByOther = 1234;
  std::thread([&] {
    seenByOther = GetLastError();
    SetLastError(ERROR_FILE_NOT_FOUND);
  }).join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(HresultFromWin32, FoldsCodesIntoFacilityWin32) {
  EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), static_cast<HRESULT>(0x80070005));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), E_INVALIDARG);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY), E_OUTOFMEMORY);
  // An HRESULT passed in stays as it is.
  EXPECT_EQ(HRESULT_FROM_WIN32(static_cast<unsigned long>(REGDB_E_CLASSNOTREG)), REGDB_E_CLASSNOTREG);
}

struct MessageCase {
  DWORD code;
  bool known;
};

TEST(FormatMessage, SystemTextsEndInCrLfAndUnknownCodesFail) {
  const MessageCase cases[] = {
      {2, true},          {3, true},          {5, true},          {87, true},
      {1018, true},       {1801, true},       {3006, true},       {0x80040154, true},
      {0x80070005, true},  // a wrapped Win32 code reads as the code
      {0x800401F3, true}, {99999, false},     {0x80071234, false},
  };
  for (const auto& c : cases) {
    char narrow[256] = "untouched";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, c.code, 0, narrow, sizeof narrow, nullptr);
    WCHAR wide[256] = {};
    const DWORD w = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, c.code, 0, wide, 256, nullptr);
    SCOPED_TRACE(c.code);
    if (!c.known) {
      EXPECT_EQ(n, 0u);
      EXPECT_EQ(w, 0u);
      continue;
    }
    ASSERT_GT(n, 2u);
    EXPECT_EQ(std::string(narrow).substr(n - 2), "\r\n");
    EXPECT_EQ(std::string(narrow).size(), n);
    EXPECT_EQ(qv::ToUtf8(std::u16string(wide, w)), std::string(narrow));
  }
  char a[256], b[256];
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x80070005, 0, a, 256, nullptr);
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, b, 256, nullptr);
  EXPECT_STREQ(a, b);
}

TEST(FormatMessage, ShortBufferFailsAndAllocatedBufferIsFreedByLocalFree) {
  char small[4];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, small, sizeof small, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  LPSTR allocated = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                                 2, 0, reinterpret_cast<LPSTR>(&allocated), 0, nullptr);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(std::string(allocated).size(), n);
  LocalFree(allocated);
}

struct Utf8Case {
  std::string utf8;
  std::u16string utf16;
};

TEST(Utf, ValidTextRoundTrips) {
  const Utf8Case cases[] = {
      {"", u""},
      {"plain", u"plain"},
      {"Gr\xC3\xBC\xC3\x9F" "e", u"Grüße"},
      {"\xE2\x82\xAC 5", u"€ 5"},
      {"\xF0\x9F\x96\xA8", u"\U0001F5A8"},  // outside the basic plane: a surrogate pair
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qv::ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(qv::ToUtf8(c.utf16), c.utf8);
  }
}

TEST(Utf, InvalidSequencesAreReplacedNeverFatal) {
  const Utf8Case cases[] = {
      {"a\xFF" "b", u"a\uFFFDb"},                  // a byte that starts nothing
      {"\xC3", u"\uFFFD"},                          // cut off
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},      // an encoded surrogate
      {"\xE2\x82" "x", u"\uFFFD\uFFFDx"},           // continuation missing
  };
  for (const auto& c : cases) EXPECT_EQ(qv::ToUtf16(c.utf8), c.utf16) << c.utf8;
  EXPECT_EQ(qv::ToUtf8(std::u16string(1, u'\xD800') + u"x"), "\xEF\xBF\xBDx");  // lone high
  EXPECT_EQ(qv::ToUtf8(std::u16string(1, u'\xDC00')), "\xEF\xBF\xBD");          // lone low
}

TEST(CodePage, SizeProtocolAndTerminator) {
  const char* text = "Gr\xC3\xBC\xC3\x9F" "e";
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  EXPECT_EQ(needed, 6);  // five characters and the terminator
  WCHAR wide[6];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 6), 6);
  EXPECT_EQ(std::u16string(wide), u"Grüße");
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  const int bytes = WideCharToMultiByte(CP_ACP, 0, u"Grüße", 5, nullptr, 0, nullptr, nullptr);
  EXPECT_EQ(bytes, 7);  // no terminator when the length is given
  char narrow[8] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"Grüße", 5, narrow, 7, nullptr, nullptr), 7);
  EXPECT_STREQ(narrow, text);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, text, -1, wide, 6), 0);  // only UTF-8 is offered
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(LocalTime, IsAValidCalendarTime) {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  EXPECT_GE(t.wYear, 2020);
  EXPECT_TRUE(t.wMonth >= 1 && t.wMonth <= 12);
  EXPECT_TRUE(t.wDay >= 1 && t.wDay <= 31);
  EXPECT_LE(t.wDayOfWeek, 6);
  EXPECT_LE(t.wHour, 23);
  EXPECT_LE(t.wSecond, 59);
}

}  // namespace

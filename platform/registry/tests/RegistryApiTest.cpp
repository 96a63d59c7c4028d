// The registry calls as the monitor and the job processor see them.
#include <TempPrefix.h>
#include <gtest/gtest.h>
#include <qv/utf.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

Bytes BytesOf(const void* data, size_t size) {
  const BYTE* begin = static_cast<const BYTE*>(data);
  return Bytes(begin, begin + size);
}
Bytes Ansi(std::string_view text) { return BytesOf(text.data(), text.size()); }
Bytes Wide(std::u16string_view text) { return BytesOf(text.data(), text.size() * sizeof(char16_t)); }
// A REG_SZ as the 8-bit calls write it: the text and its NUL.
Bytes Sz(const char* text) { return BytesOf(text, std::strlen(text) + 1); }

class RegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (HKEY key : open_) RegCloseKey(key);
  }

  HKEY Create(HKEY root, const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS)
        << path;
    open_.push_back(key);
    return key;
  }

  LSTATUS Open(HKEY root, const char* path, HKEY& key) {
    LSTATUS status = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_SUCCESS) open_.push_back(key);
    return status;
  }

  Bytes QueryA(HKEY key, const char* name, DWORD& type) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    Bytes data(size + 8, 0xCC);
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
    data.resize(size);
    return data;
  }

  Bytes QueryW(HKEY key, const WCHAR* name, DWORD& type) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    Bytes data(size + 8, 0xCC);
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
    data.resize(size);
    return data;
  }

  std::vector<std::u16string> SubkeyNames(HKEY key) {
    std::vector<std::u16string> names;
    WCHAR name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256;
      LSTATUS status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(status, ERROR_SUCCESS);
      if (status != ERROR_SUCCESS) break;
      names.emplace_back(name, length);
    }
    return names;
  }

  qv::testing::TempPrefix prefix_;
  std::vector<HKEY> open_;
};

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  HKEY created = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Drennic\\MixedCase\\Ärger");
  const char* kSpelling = "LogFile";
  ASSERT_EQ(RegSetValueExA(created, kSpelling, 0, REG_SZ, Sz("one").data(), 4), ERROR_SUCCESS);
  // Written again under another spelling: same value, first spelling kept.
  ASSERT_EQ(RegSetValueExA(created, "LOGFILE", 0, REG_SZ, Sz("two").data(), 4), ERROR_SUCCESS);

  HKEY reopened = nullptr;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "software\\DRENNIC\\mixedcase\\äRGER", reopened), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(QueryA(reopened, "logfile", type), Sz("two"));

  WCHAR name[64];
  DWORD length = 64;
  ASSERT_EQ(RegEnumValueW(reopened, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name, length), WSTR("LogFile"));
  EXPECT_EQ(RegEnumValueW(reopened, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  HKEY drennic = nullptr;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\DRENNIC", drennic), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(drennic), std::vector<std::u16string>{WSTR("MixedCase")});
}

TEST_F(RegistryTest, SubkeysEnumerateInNameOrderValuesInCreationOrder) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Order");
  for (const char* sub : {"beta", "Alpha", "gamma"}) Create(key, sub);
  EXPECT_EQ(SubkeyNames(key), (std::vector<std::u16string>{WSTR("Alpha"), WSTR("beta"), WSTR("gamma")}));

  for (const char* value : {"z", "a", "m"}) ASSERT_EQ(RegSetValueExA(key, value, 0, REG_BINARY, nullptr, 0), 0);
  std::u16string order;
  WCHAR name[8];
  for (DWORD i = 0;; ++i) {
    DWORD length = 8;
    if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    order += std::u16string(name, length);
  }
  EXPECT_EQ(order, WSTR("zam"));
}

TEST_F(RegistryTest, StatusCodes) {
  HKEY parent = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Status\\Child");
  HKEY status = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Status");
  HKEY closed = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Closed");
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  (void)parent;
  HKEY result = reinterpret_cast<HKEY>(1);
  BYTE data[4];
  DWORD size = sizeof data;

  struct Case {
    const char* what;
    LSTATUS actual;
    LSTATUS expected;
  } cases[] = {
      {"open a missing key", RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, KEY_READ, &result), 2},
      {"query a missing value", RegQueryValueExA(status, "missing", nullptr, nullptr, data, &size), 2},
      {"delete a missing value", RegDeleteValueA(status, "missing"), 2},
      {"delete a missing key", RegDeleteKeyA(status, "missing"), 2},
      {"delete a key with subkeys", RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Status"), 5},
      {"delete the root", RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), 5},
      {"query through a null handle", RegQueryValueExA(nullptr, "x", nullptr, nullptr, data, &size), 6},
      {"query through a closed handle", RegQueryValueExA(closed, "x", nullptr, nullptr, data, &size), 6},
      {"query through a made-up handle",
       RegQueryValueExA(reinterpret_cast<HKEY>(0x7654320), "x", nullptr, nullptr, data, &size), 6},
      {"open below HKEY_CURRENT_USER", RegOpenKeyExA(HKEY_CURRENT_USER, "x", 0, KEY_READ, &result), 6},
      {"close a closed handle", RegCloseKey(closed), 6},
      {"enumerate past the end", RegEnumKeyW(status, 1, reinterpret_cast<WCHAR*>(data), 2), 259},
      {"path with a leading separator", RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &result), 161},
      {"path with an empty element", RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\X", 0, KEY_READ, &result), 161},
      {"data buffer without its size", RegQueryValueExA(status, "x", nullptr, nullptr, data, nullptr), 87},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
  EXPECT_EQ(result, nullptr) << "a failed open leaves no handle";
}

TEST_F(RegistryTest, HandleToDeletedKeyAnswersKeyDeleted) {
  HKEY doomed = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed");
  ASSERT_EQ(RegSetValueExA(doomed, "v", 0, REG_SZ, Sz("x").data(), 2), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed"), ERROR_SUCCESS);
  Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed");  // a new key of the same name is another key

  BYTE data[8];
  DWORD size = sizeof data;
  HKEY sub = nullptr;
  WCHAR name[8];
  EXPECT_EQ(RegQueryValueExA(doomed, "v", nullptr, nullptr, data, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(doomed, "v", 0, REG_SZ, Sz("y").data(), 2), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCreateKeyExA(doomed, "sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExA(doomed, "", 0, KEY_READ, &sub), ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumKeyW(doomed, 0, name, 8), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteValueA(doomed, "v"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
  open_.erase(std::find(open_.begin(), open_.end(), doomed));
}

// One value of each type: its bytes as the 8-bit calls see them and as the wide calls see them.
struct TypedValue {
  const char* name;
  DWORD type;
  Bytes ansi;
  Bytes wide;
};

std::vector<TypedValue> EveryType() {
  const BYTE dword[] = {10, 0, 0, 0};
  const BYTE binary[] = {0, 1, 0x80, 0xFF};
  using namespace std::string_view_literals;
  return {
      {"sz", REG_SZ, Ansi("Grüße\0"sv), Wide(WSTR("Grüße\0"sv))},
      {"expand", REG_EXPAND_SZ, Ansi("%TEMP%\\x\0"sv), Wide(WSTR("%TEMP%\\x\0"sv))},
      {"multi", REG_MULTI_SZ, Ansi("a\0βc\0\0"sv), Wide(WSTR("a\0βc\0\0"sv))},
      {"binary", REG_BINARY, BytesOf(binary, 4), BytesOf(binary, 4)},
      {"dword", REG_DWORD, BytesOf(dword, 4), BytesOf(dword, 4)},
      {"", REG_SZ, Ansi("default\0"sv), Wide(WSTR("default\0"sv))},
  };
}

TEST_F(RegistryTest, EveryTypeRoundTripsThroughBothInterfaces) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Types");
  for (const TypedValue& v : EveryType()) {
    SCOPED_TRACE(v.name);
    std::u16string wideName = qv::ToUtf16(v.name);
    DWORD type = 0;
    // Written by the 8-bit call: read back by both.
    ASSERT_EQ(RegSetValueExA(key, v.name, 0, v.type, v.ansi.data(), static_cast<DWORD>(v.ansi.size())), 0);
    EXPECT_EQ(QueryA(key, v.name, type), v.ansi);
    EXPECT_EQ(type, v.type);
    EXPECT_EQ(QueryW(key, wideName.c_str(), type), v.wide);
    EXPECT_EQ(type, v.type);
    // Written by the wide call: read back by both.
    ASSERT_EQ(RegDeleteValueW(key, wideName.c_str()), 0);
    ASSERT_EQ(RegSetValueExW(key, wideName.c_str(), 0, v.type, v.wide.data(), static_cast<DWORD>(v.wide.size())), 0);
    EXPECT_EQ(QueryA(key, v.name, type), v.ansi);
    EXPECT_EQ(QueryW(key, wideName.c_str(), type), v.wide);
  }
}

TEST_F(RegistryTest, ShortBufferGivesMoreDataAndTheSizeNeeded) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Sizes");
  ASSERT_EQ(RegSetValueExW(key, WSTR("text"), 0, REG_SZ, reinterpret_cast<const BYTE*>(WSTR("héllo")), 12), 0);  // with NUL

  struct Case {
    bool wide;
    DWORD offered;
    bool buffer;
    LSTATUS status;
    DWORD reported;
  } cases[] = {
      {true, 0, false, ERROR_SUCCESS, 12},  // size only
      {true, 11, true, ERROR_MORE_DATA, 12},
      {true, 12, true, ERROR_SUCCESS, 12},
      {true, 100, true, ERROR_SUCCESS, 12},
      {false, 0, false, ERROR_SUCCESS, 7},  // "héllo" is 6 bytes of UTF-8, then the NUL
      {false, 6, true, ERROR_MORE_DATA, 7},
      {false, 7, true, ERROR_SUCCESS, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.wide ? "wide " : "8-bit ") << c.offered);
    BYTE buffer[100];
    DWORD size = c.offered;
    DWORD type = 0;
    LPBYTE data = c.buffer ? buffer : nullptr;
    LSTATUS status = c.wide ? RegQueryValueExW(key, WSTR("text"), nullptr, &type, data, &size)
                            : RegQueryValueExA(key, "text", nullptr, &type, data, &size);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(size, c.reported);
    EXPECT_EQ(type, DWORD(REG_SZ));
  }
}

TEST_F(RegistryTest, StringWithoutTerminatorReadsBackWithItsOwnSize) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Unterminated");
  ASSERT_EQ(RegSetValueExW(key, WSTR("w"), 0, REG_SZ, Wide(WSTR("abc")).data(), 6), 0);
  ASSERT_EQ(RegSetValueExA(key, "a", 0, REG_SZ, Ansi("xyz").data(), 3), 0);
  DWORD type = 0;
  EXPECT_EQ(QueryW(key, WSTR("w"), type), Wide(WSTR("abc")));
  EXPECT_EQ(QueryA(key, "w", type), Ansi("abc"));
  EXPECT_EQ(QueryW(key, WSTR("a"), type), Wide(WSTR("xyz")));
  EXPECT_EQ(QueryA(key, "a", type), Ansi("xyz"));
}

TEST_F(RegistryTest, ClassesRootIsSoftwareClasses) {
  HKEY viaRoot = Create(HKEY_CLASSES_ROOT, "MarrowjetUI.Job\\CLSID");
  ASSERT_EQ(RegSetValueExA(viaRoot, nullptr, 0, REG_SZ, Sz("{id}").data(), 5), 0);
  HKEY viaMachine = nullptr;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\MarrowjetUI.Job\\CLSID", viaMachine), 0);
  DWORD type = 0;
  EXPECT_EQ(QueryA(viaMachine, "", type), Sz("{id}"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "MarrowjetUI.Job\\CLSID"), 0);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, CreateTellsNewFromExisting) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\New\\Deep\\"), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition),
            0);
  open_.push_back(key);
  EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, WSTR("software\\new\\deep"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, &disposition),
            0);
  open_.push_back(key);
  EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
}

// Names count UTF-16 characters, as the buffers of the programs that enumerate them do.
TEST_F(RegistryTest, KeyNamesLongerThan255CharactersAreRefused) {
  const std::u16string accented(255, u'\u00e9');  // 510 bytes as UTF-8, still 255 characters
  std::u16string pairs;
  for (int i = 0; i < 128; ++i) pairs += u"\U0001F600";  // 128 characters of 2 units each
  struct Case {
    const char* name;
    std::u16string path;  // below SOFTWARE\Long
    LSTATUS expected;
    std::u16string created;  // the subkey of SOFTWARE\Long there is afterwards
  } cases[] = {
      {"255 characters", std::u16string(255, u'a'), ERROR_SUCCESS, std::u16string(255, u'a')},
      {"255 two-byte characters", accented, ERROR_SUCCESS, accented},
      {"256 characters", std::u16string(256, u'b'), ERROR_INVALID_PARAMETER, u""},
      {"256 units in surrogate pairs", pairs, ERROR_INVALID_PARAMETER, u""},
      {"the long name below a new key", u"Parent\\" + std::u16string(300, u'c'), ERROR_INVALID_PARAMETER, u""},
      {"the long name above a new key", std::u16string(256, u'd') + u"\\Child", ERROR_INVALID_PARAMETER, u""},
      {"with a trailing separator", std::u16string(256, u'e') + u"\\", ERROR_INVALID_PARAMETER, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HKEY parent = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Long");
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(parent, c.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              c.expected);
    if (key) RegCloseKey(key);
    EXPECT_EQ(key == nullptr, c.expected != ERROR_SUCCESS);
    // Nothing of a refused path is created, not even its acceptable part.
    const std::vector<std::u16string> expected =
        c.created.empty() ? std::vector<std::u16string>{} : std::vector<std::u16string>{c.created};
    EXPECT_EQ(SubkeyNames(parent), expected);
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(parent, c.path.c_str(), 0, KEY_READ, &opened),
              c.expected == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    if (opened) RegCloseKey(opened);
    if (!c.created.empty()) {
      EXPECT_EQ(RegDeleteKeyW(parent, c.created.c_str()), ERROR_SUCCESS);
    }
  }
  const std::string ansi(256, 'f');
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + ansi).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, NewPrefixHasItsDriveTable) {
  HKEY drives = nullptr;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\DOS Devices", drives), 0);
  DWORD type = 0;
  std::string driveC = prefix_.Path("drive_c");
  EXPECT_EQ(QueryA(drives, "C:", type), Sz(driveC.c_str()));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(QueryA(drives, "z:", type), Sz("/"));
  EXPECT_TRUE(std::filesystem::is_directory(driveC));
}

TEST_F(RegistryTest, RegistryCallsLeaveLastErrorAlone) {
  SetLastError(1234);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, KEY_READ, &key), 2);
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST_F(RegistryTest, ThreadsShareTheStore) {
  constexpr int kThreads = 4;
  constexpr int kValues = 100;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      HKEY key = nullptr;
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Threads", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
      for (DWORD i = 0; i < kValues; ++i) {
        std::string name = std::to_string(t) + "-" + std::to_string(i);
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
      }
      RegCloseKey(key);
    });
  for (std::thread& thread : threads) thread.join();
  HKEY key = nullptr;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Threads", key), 0);
  for (int t = 0; t < kThreads; ++t)
    for (DWORD i = 0; i < kValues; ++i) {
      std::string name = std::to_string(t) + "-" + std::to_string(i);
      DWORD value = 0, size = 4;
      ASSERT_EQ(RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), 0);
      EXPECT_EQ(value, i);
    }
}

}  // namespace

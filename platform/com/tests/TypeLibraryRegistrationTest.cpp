#include "MarrowjetTypeLibrary.h"

#include <TempPrefix.h>
#include <oleauto.h>
#include <windows.h>
#include <qv/typelib.h>
#include <qv/utf.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using qv::testing::HeldTypeLib;
using qv::testing::kMarrowjetLibId;
using qv::testing::MarrowjetRecord;

const std::string kGuid = "{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}";

// Every key below `path` (relative to HKCR\TypeLib) as "path", and every value as
// "path|name=text"; sorted.
void Walk(HKEY parent, const std::u16string& name, const std::string& shown,
          std::vector<std::string>& lines) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  lines.push_back(shown);
  for (DWORD index = 0;; ++index) {
    WCHAR valueName[256] = {};
    DWORD nameLength = 256, type = 0;
    BYTE data[2048] = {};
    DWORD size = sizeof(data) - sizeof(WCHAR);
    if (RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type, data, &size) !=
        ERROR_SUCCESS)
      break;
    std::u16string text(reinterpret_cast<const WCHAR*>(data));
    lines.push_back(shown + "|" + qv::ToUtf8(valueName) + "=" +
                    (type == REG_SZ ? qv::ToUtf8(text) : "<type " + std::to_string(type) + ">"));
  }
  for (DWORD index = 0;; ++index) {
    WCHAR child[256] = {};
    if (RegEnumKeyW(key, index, child, 256) != ERROR_SUCCESS) break;
    Walk(key, child, shown + "\\" + qv::ToUtf8(child), lines);
  }
  RegCloseKey(key);
}

std::vector<std::string> Registered() {
  std::vector<std::string> lines;
  Walk(HKEY_CLASSES_ROOT, WSTR("TypeLib\\{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}"), kGuid, lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Loads `record` from a type library file and registers it.
HRESULT RegisterRecord(const qv::testing::TempPrefix& prefix, const TYPELIBRECORD& record,
                       const char16_t* fullPath, const char16_t* helpDir) {
  const std::string file = prefix.Path("registered.tlb");
  if (!qv::WriteTypeLibraryFile(file, record)) return E_FAIL;
  HeldTypeLib library;
  HRESULT result = LoadTypeLib(qv::ToUtf16(file).c_str(), library.Receive());
  return FAILED(result) ? result : RegisterTypeLib(library.Get(), fullPath, helpDir);
}

TEST(TypeLibraryRegistration, WritesTheWindowsLayout) {
  TYPELIBRECORD plain = MarrowjetRecord();
  plain.helpString = nullptr;
  plain.syskind = SYS_WIN64;
  plain.wMajorVerNum = 2;
  plain.wMinorVerNum = 0xA;
  plain.lcid = 0;
  plain.wLibFlags = 12;
  struct Case {
    TYPELIBRECORD record;
    const char16_t* helpDir;
    std::vector<std::string> expected;
  };
  const std::string v1 = kGuid + "\\1.0";
  const std::string v2 = kGuid + "\\2.a";
  const Case cases[] = {
      {MarrowjetRecord(),
       u"/opt/quorvane/lib/",
       {kGuid, v1, v1 + "\\409", v1 + "\\409\\win32",
        v1 + "\\409\\win32|=/opt/quorvane/lib/libqvpm.so", v1 + "\\FLAGS", v1 + "\\FLAGS|=0",
        v1 + "\\HELPDIR", v1 + "\\HELPDIR|=/opt/quorvane/lib/",
        v1 + "|=Marrowjet 1.0 Type Library"}},
      {plain,
       nullptr,
       {kGuid, v2, v2 + "\\0", v2 + "\\0\\win64", v2 + "\\0\\win64|=/opt/quorvane/lib/libqvpm.so",
        v2 + "\\FLAGS", v2 + "\\FLAGS|=12", v2 + "\\HELPDIR", v2 + "\\HELPDIR|=",
        v2 + "|=MARROWJETLib"}},
  };
  for (const Case& c : cases) {
    qv::testing::TempPrefix prefix;
    ASSERT_EQ(RegisterRecord(prefix, c.record, u"/opt/quorvane/lib/libqvpm.so", c.helpDir), S_OK);
    std::vector<std::string> expected = c.expected;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Registered(), expected);
    // Registering again changes nothing.
    ASSERT_EQ(RegisterRecord(prefix, c.record, u"/opt/quorvane/lib/libqvpm.so", c.helpDir), S_OK);
    EXPECT_EQ(Registered(), expected);
  }
}

TEST(TypeLibraryRegistration, RefusesMissingArguments) {
  qv::testing::TempPrefix prefix;
  HeldTypeLib library;
  ASSERT_EQ(LoadTypeLib(u"libqvtesttypelib.so", library.Receive()), S_OK);
  EXPECT_EQ(RegisterTypeLib(nullptr, u"/x.so", u"/"), E_INVALIDARG);
  EXPECT_EQ(RegisterTypeLib(library.Get(), nullptr, u"/"), E_INVALIDARG);
  EXPECT_TRUE(Registered().empty());
}

TEST(TypeLibraryRegistration, UnregisterRemovesWhatRegisterWrote) {
  qv::testing::TempPrefix prefix;
  ASSERT_EQ(RegisterRecord(prefix, MarrowjetRecord(), u"/lib/libqvpm.so", u"/lib/"), S_OK);
  // Keys left below the registration by someone else go with it.
  HKEY extra = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT,
                            WSTR("TypeLib\\{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\\1.0\\409\\win32"
                                 "\\extra\\deeper"),
                            0, nullptr, 0, KEY_WRITE, nullptr, &extra, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(extra);
  EXPECT_EQ(UnRegisterTypeLib(kMarrowjetLibId, 1, 0, 0x409, SYS_WIN32), S_OK);
  EXPECT_TRUE(Registered().empty());
  HKEY root = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, WSTR("TypeLib"), 0, KEY_READ, &root), ERROR_SUCCESS);
  RegCloseKey(root);
  EXPECT_EQ(UnRegisterTypeLib(kMarrowjetLibId, 1, 0, 0x409, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
}

TEST(TypeLibraryRegistration, UnregisterKeepsOtherRegistrations) {
  TYPELIBRECORD version2 = MarrowjetRecord();
  version2.wMajorVerNum = 2;
  TYPELIBRECORD win64 = MarrowjetRecord();
  win64.syskind = SYS_WIN64;
  TYPELIBRECORD german = MarrowjetRecord();
  german.lcid = 0x407;
  for (const TYPELIBRECORD& other : {version2, win64, german}) {
    qv::testing::TempPrefix prefix;
    ASSERT_EQ(RegisterRecord(prefix, other, u"/lib/other.so", u"/lib/"), S_OK);
    const std::vector<std::string> otherAlone = Registered();
    ASSERT_EQ(RegisterRecord(prefix, MarrowjetRecord(), u"/lib/libqvpm.so", u"/lib/"), S_OK);
    EXPECT_EQ(UnRegisterTypeLib(kMarrowjetLibId, 1, 0, 0x409, SYS_WIN32), S_OK);
    // What stays is the other registration, with the settings of the version the last
    // registration wrote.
    EXPECT_EQ(Registered(), otherAlone);
  }
}

TEST(TypeLibraryRegistration, UnregisterOfWhatIsNotThereChangesNothing) {
  qv::testing::TempPrefix prefix;
  EXPECT_EQ(UnRegisterTypeLib(kMarrowjetLibId, 1, 0, 0x409, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
  ASSERT_EQ(RegisterRecord(prefix, MarrowjetRecord(), u"/lib/libqvpm.so", u"/lib/"), S_OK);
  const std::vector<std::string> before = Registered();
  EXPECT_EQ(UnRegisterTypeLib(kMarrowjetLibId, 1, 1, 0x409, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(UnRegisterTypeLib(kMarrowjetLibId, 1, 0, 0x407, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(UnRegisterTypeLib(kMarrowjetLibId, 1, 0, 0x409, SYS_WIN64), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(Registered(), before);
}

}  // namespace

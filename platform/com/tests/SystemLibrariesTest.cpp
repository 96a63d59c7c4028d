#include "MarrowjetTypeLibrary.h"

#include <TempPrefix.h>
#include <oleauto.h>
#include <windows.h>

#include <gtest/gtest.h>

namespace {

using qv::testing::HeldTypeLib;
using qv::testing::kMarrowjetLibId;

HMODULE PlatformModule() {
  HMODULE platform = nullptr;
  EXPECT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&UnRegisterTypeLib), &platform));
  return platform;
}

TEST(SystemLibraries, WindowsSystemNamesAreThePlatform) {
  const HMODULE platform = PlatformModule();
  ASSERT_NE(platform, nullptr);
  for (const char16_t* name : {u"OLEAUT32.DLL", u"oleaut32.dll", u"Ole32.dll", u"kernel32.dll",
                               u"ADVAPI32.dll", u"user32.dll", u"winspool.drv", u"WINSPOOL.DRV"}) {
    HMODULE module = LoadLibraryW(name);
    EXPECT_EQ(module, platform);
    HMODULE found = nullptr;
    EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, name, &found));
    EXPECT_EQ(found, platform);
    EXPECT_TRUE(FreeLibrary(module));
  }
  // Only the bare names: a Windows path can't name a host file.
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(WSTR("C:\\Windows\\System32\\oleaut32.dll")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

// The monitor's uninstallation: UnRegisterTypeLib looked up by name at run time.
TEST(SystemLibraries, UnRegisterTypeLibIsFoundByName) {
  qv::testing::TempPrefix prefix;
  HeldTypeLib library;
  ASSERT_EQ(LoadTypeLib(u"libqvtesttypelib.so", library.Receive()), S_OK);
  ASSERT_EQ(RegisterTypeLib(library.Get(), u"/lib/libqvtesttypelib.so", u"/lib/"), S_OK);

  HMODULE oleaut = LoadLibraryW(WSTR("OLEAUT32.DLL"));
  ASSERT_NE(oleaut, nullptr);
  using UnRegisterFunction = HRESULT(STDAPICALLTYPE*)(REFGUID, WORD, WORD, LCID, SYSKIND);
  auto unregister =
      reinterpret_cast<UnRegisterFunction>(GetProcAddress(oleaut, "UnRegisterTypeLib"));
  ASSERT_EQ(unregister, &UnRegisterTypeLib);
  EXPECT_EQ(unregister(kMarrowjetLibId, 1, 0, 0x409, SYS_WIN32), S_OK);
  EXPECT_TRUE(FreeLibrary(oleaut));
  // One free too many still leaves the platform in place.
  FreeLibrary(oleaut);
  EXPECT_EQ(unregister(kMarrowjetLibId, 1, 0, 0x409, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT,
                          WSTR("TypeLib\\{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}"), 0, KEY_READ,
                          &key),
            ERROR_FILE_NOT_FOUND);
}

}  // namespace

#include <gtest/gtest.h>
#include <qv/paths.h>
#include <qv/utf.h>
#include <winreg.h>

#include "TempPrefix.h"

namespace {

struct MappingCase {
  const char* windowsPath;
  DWORD status;
  const char* hostPath;  // "<P>" stands for the prefix
};

std::string Expand(std::string text, const std::string& prefix) {
  if (text.rfind("<P>", 0) == 0) text.replace(0, 3, prefix);
  return text;
}

TEST(PathMapping, DriveTableAndRefusals) {
  qv::testing::TempPrefix prefix;
  const MappingCase cases[] = {
      {"C:\\a\\b", ERROR_SUCCESS, "<P>/drive_c/a/b"},
      {"c:/a/b", ERROR_SUCCESS, "<P>/drive_c/a/b"},
      {"C:\\a//b\\\\", ERROR_SUCCESS, "<P>/drive_c/a/b/"},
      {"C:\\", ERROR_SUCCESS, "<P>/drive_c/"},
      {"Z:\\tmp", ERROR_SUCCESS, "/tmp"},
      {"z:\\", ERROR_SUCCESS, "/"},
      {"/abs/x", ERROR_SUCCESS, "/abs/x"},
      {"/abs\\x", ERROR_SUCCESS, "/abs/x"},
      {"/", ERROR_SUCCESS, "/"},
      {"Jobs\\x", ERROR_PATH_NOT_FOUND, nullptr},
      {"x", ERROR_PATH_NOT_FOUND, nullptr},
      {"C:x", ERROR_PATH_NOT_FOUND, nullptr},
      {"C:", ERROR_PATH_NOT_FOUND, nullptr},
      {"\\x", ERROR_PATH_NOT_FOUND, nullptr},
      {"Q:\\x", ERROR_PATH_NOT_FOUND, nullptr},
      {"", ERROR_PATH_NOT_FOUND, nullptr},
      {"C:\\a\\..\\b", ERROR_INVALID_NAME, nullptr},
      {"C:\\a\\.\\b", ERROR_INVALID_NAME, nullptr},
      {"C:\\..", ERROR_INVALID_NAME, nullptr},
      {"/tmp/../etc/passwd", ERROR_INVALID_NAME, nullptr},
      {"..\\x", ERROR_INVALID_NAME, nullptr},
      {"\\\\server\\share\\x", ERROR_BAD_PATHNAME, nullptr},
      {"//server/share/x", ERROR_BAD_PATHNAME, nullptr},
      {"\\\\?\\C:\\x", ERROR_BAD_PATHNAME, nullptr},
  };
  for (const MappingCase& c : cases) {
    SCOPED_TRACE(c.windowsPath);
    std::string host = "untouched";
    EXPECT_EQ(qv::MapWindowsPath(c.windowsPath, host), c.status);
    EXPECT_EQ(host, c.hostPath ? Expand(c.hostPath, prefix.Dir()) : "untouched");
  }
  std::string host;
  EXPECT_EQ(qv::MapWindowsPath(std::string_view("/tmp/a\0b", 8), host), DWORD{ERROR_INVALID_NAME});
}

// Sets drive `name` in the drive table to `folder`.
void SetDrive(const char* name, const std::string& folder) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, qv::ToUtf16(qv::kDosDevicesKey).c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::u16string value = qv::ToUtf16(folder);
  EXPECT_EQ(RegSetValueExW(key, qv::ToUtf16(name).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST(PathMapping, FollowsTheDriveTable) {
  qv::testing::TempPrefix prefix;
  SetDrive("D:", "/srv/print/");
  SetDrive("E:", "relative/folder");  // not a host folder: the drive counts as unmapped
  std::string host;
  EXPECT_EQ(qv::MapWindowsPath("d:\\Jobs\\a.prn", host), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(host, "/srv/print/Jobs/a.prn");
  EXPECT_EQ(qv::MapWindowsPath("E:\\a.prn", host), DWORD{ERROR_PATH_NOT_FOUND});

  SetDrive("C:", "/srv/other");  // a change is seen at once, nothing is cached
  EXPECT_EQ(qv::MapWindowsPath("C:\\a.prn", host), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(host, "/srv/other/a.prn");
}

}  // namespace

#include <gtest/gtest.h>
#include <winbase.h>

#include <filesystem>
#include <sys/stat.h>

#include "FileTestSupport.h"
#include "TempPrefix.h"

namespace {

using qv::files::testing::WriteHostFile;
namespace fs = std::filesystem;

TEST(CreateDirectory, StatusCodes) {
  qv::testing::TempPrefix prefix;
  fs::create_directories(prefix.Path("drive_c"));
  WriteHostFile(prefix.Path("drive_c/file"), "");
  struct Case {
    const char* path;
    BOOL result;
    DWORD error;
  } cases[] = {
      {"C:\\Jobs", TRUE, 0},
      {"C:\\Jobs", FALSE, ERROR_ALREADY_EXISTS},
      {"c:/Jobs/", FALSE, ERROR_ALREADY_EXISTS},
      {"C:\\Jobs\\alice\\", TRUE, 0},
      {"C:\\file", FALSE, ERROR_ALREADY_EXISTS},  // a file of that name
      {"C:\\", FALSE, ERROR_ALREADY_EXISTS},
      {"C:\\missing\\x", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\file\\x", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\Jobs\\..\\x", FALSE, ERROR_INVALID_NAME},
      {"Jobs", FALSE, ERROR_PATH_NOT_FOUND},
      {"Q:\\Jobs", FALSE, ERROR_PATH_NOT_FOUND},
      {"\\\\server\\share\\Jobs", FALSE, ERROR_BAD_PATHNAME},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    SetLastError(0);
    EXPECT_EQ(CreateDirectoryA(c.path, nullptr), c.result);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_TRUE(fs::is_directory(prefix.Path("drive_c/Jobs/alice")));
  EXPECT_FALSE(fs::exists("Jobs"));
  EXPECT_TRUE(CreateDirectoryW(WSTR("C:\\Wide"), nullptr));
  EXPECT_TRUE(fs::is_directory(prefix.Path("drive_c/Wide")));
}

TEST(FileAttributes, KindsAndMissingNames) {
  qv::testing::TempPrefix prefix;
  fs::create_directories(prefix.Path("dir"));
  WriteHostFile(prefix.Path("file"), "x");
  WriteHostFile(prefix.Path("readonly"), "x");
  fs::permissions(prefix.Path("readonly"), fs::perms::owner_read | fs::perms::group_read);
  fs::create_symlink(prefix.Path("dir"), prefix.Path("dirlink"));
  fs::create_symlink(prefix.Path("gone"), prefix.Path("dangling"));
  struct Case {
    std::string path;
    DWORD attributes;
    DWORD error;
  } cases[] = {
      {prefix.Path("dir"), FILE_ATTRIBUTE_DIRECTORY, 0},
      {prefix.Path("dir/"), FILE_ATTRIBUTE_DIRECTORY, 0},
      {prefix.Path("file"), FILE_ATTRIBUTE_NORMAL, 0},
      {prefix.Path("readonly"), FILE_ATTRIBUTE_READONLY, 0},
      {prefix.Path("dirlink"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 0},
      {prefix.Path("dangling"), FILE_ATTRIBUTE_REPARSE_POINT, 0},
      {prefix.Path("missing"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {prefix.Path("missing/x"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {prefix.Path("file/x"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {prefix.Path("dir/../file"), INVALID_FILE_ATTRIBUTES, ERROR_INVALID_NAME},
      {"file", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA(c.path.c_str()), c.attributes);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(GetFileAttributesW(WSTR("Z:\\")), DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

TEST(DeleteFile, RemovesFilesAndLinksOnly) {
  qv::testing::TempPrefix prefix;
  fs::create_directories(prefix.Path("dir"));
  WriteHostFile(prefix.Path("file"), "x");
  WriteHostFile(prefix.Path("target"), "keep");
  fs::create_symlink(prefix.Path("target"), prefix.Path("link"));

  EXPECT_TRUE(DeleteFileA(prefix.Path("file").c_str()));
  EXPECT_FALSE(fs::exists(prefix.Path("file")));
  EXPECT_TRUE(DeleteFileA(prefix.Path("link").c_str()));
  EXPECT_FALSE(fs::is_symlink(prefix.Path("link")));
  EXPECT_TRUE(fs::exists(prefix.Path("target")));

  struct Case {
    std::string path;
    DWORD error;
  } cases[] = {
      {prefix.Path("file"), ERROR_FILE_NOT_FOUND},
      {prefix.Path("missing/file"), ERROR_PATH_NOT_FOUND},
      {prefix.Path("dir"), ERROR_ACCESS_DENIED},
      {prefix.Path("dir/../target"), ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_FALSE(DeleteFileA(c.path.c_str()));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_TRUE(fs::is_directory(prefix.Path("dir")));
  EXPECT_TRUE(fs::exists(prefix.Path("target")));
}

}  // namespace

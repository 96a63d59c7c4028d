#include <gtest/gtest.h>
#include <qv/utf.h>
#include <winbase.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>

#include "FileTestSupport.h"
#include "TempPrefix.h"

namespace {

using qv::files::testing::ReadHostFile;
using qv::files::testing::WriteHostFile;

// Sets TMPDIR for one test and puts the old value back.
class TmpDirSetting {
 public:
  explicit TmpDirSetting(const char* value) {
    if (const char* old = std::getenv("TMPDIR")) old_ = old;
    if (value) setenv("TMPDIR", value, 1);
    else unsetenv("TMPDIR");
  }
  ~TmpDirSetting() {
    if (old_) setenv("TMPDIR", old_->c_str(), 1);
    else unsetenv("TMPDIR");
  }

 private:
  std::optional<std::string> old_;
};

std::string TempPath() {
  WCHAR buffer[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  EXPECT_EQ(length, static_cast<DWORD>(std::char_traits<WCHAR>::length(buffer)));
  return qv::ToUtf8(buffer);
}

TEST(TempPath, HonoursTmpDir) {
  qv::testing::TempPrefix prefix;
  {
    TmpDirSetting tmpdir(prefix.Dir().c_str());
    EXPECT_EQ(TempPath(), prefix.Dir() + "/");
  }
  {
    TmpDirSetting tmpdir((prefix.Dir() + "/").c_str());
    EXPECT_EQ(TempPath(), prefix.Dir() + "/");
  }
  const char* fallbacks[] = {nullptr, "", "relative/tmp", "/tmp/../etc"};
  for (const char* value : fallbacks) {
    TmpDirSetting tmpdir(value);
    EXPECT_EQ(TempPath(), "/tmp/");
  }
}

TEST(TempPath, ShortBufferGetsTheSizeNeeded) {
  TmpDirSetting tmpdir("/tmp");
  WCHAR buffer[3] = {};
  EXPECT_EQ(GetTempPathW(3, buffer), 6u);  // "/tmp/" and its terminator
  EXPECT_EQ(GetTempPathW(0, nullptr), 6u);
}

struct NewTempFile {
  UINT number;
  std::string name;
};

NewTempFile CreateTempFile(const std::string& folder, const char* prefix = "DRN") {
  WCHAR name[MAX_PATH] = {};
  UINT number = GetTempFileNameW(qv::ToUtf16(folder).c_str(), qv::ToUtf16(prefix).c_str(), 0, name);
  return {number, qv::ToUtf8(name)};
}

// "<folder>/DRN<1 to 4 upper-case hex digits>.tmp"
bool IsTempName(const std::string& name, const std::string& folder) {
  std::string start = folder + "/DRN";
  if (name.rfind(start, 0) != 0 || name.size() < start.size() + 5) return false;
  std::string hex = name.substr(start.size(), name.size() - start.size() - 4);
  return name.substr(name.size() - 4) == ".tmp" && hex.size() <= 4 &&
         hex.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST(TempFileName, ManyNamesInARowAreDistinctAndCreated) {
  qv::testing::TempPrefix prefix;
  std::set<std::string> names;
  for (int i = 0; i < 300; ++i) {
    NewTempFile file = CreateTempFile(prefix.Dir());
    ASSERT_NE(file.number, 0u) << GetLastError();
    EXPECT_TRUE(IsTempName(file.name, prefix.Dir())) << file.name;
    EXPECT_TRUE(std::filesystem::is_regular_file(file.name));
    EXPECT_EQ(std::filesystem::file_size(file.name), 0u);
    names.insert(file.name);
  }
  EXPECT_EQ(names.size(), 300u);
}

TEST(TempFileName, ExistingNameIsSkippedNotTruncated) {
  qv::testing::TempPrefix prefix;
  NewTempFile first = CreateTempFile(prefix.Dir(), "DRNX");  // only "DRN" counts
  ASSERT_NE(first.number, 0u);
  // Numbers are taken in turn: plant a file under the next one.
  UINT next = first.number % 0xFFFF + 1;
  char planted[64];
  std::snprintf(planted, sizeof planted, "/DRN%X.tmp", next);
  std::string plantedPath = prefix.Dir() + planted;
  WriteHostFile(plantedPath, "someone else's data");

  NewTempFile second = CreateTempFile(prefix.Dir());
  ASSERT_NE(second.number, 0u);
  EXPECT_NE(second.number, next);
  EXPECT_NE(second.name, plantedPath);
  EXPECT_EQ(ReadHostFile(plantedPath), "someone else's data");
}

TEST(TempFileName, DrivePathsAndGivenNumbers) {
  qv::testing::TempPrefix prefix;
  std::filesystem::create_directories(prefix.Path("drive_c/Temp"));
  NewTempFile onDrive = CreateTempFile("C:\\Temp");
  ASSERT_NE(onDrive.number, 0u) << GetLastError();
  EXPECT_EQ(onDrive.name.rfind("C:\\Temp\\DRN", 0), 0u) << onDrive.name;
  EXPECT_TRUE(std::filesystem::exists(prefix.Path("drive_c/Temp/" + onDrive.name.substr(8))));

  // A number of the caller's own only forms the name.
  WCHAR name[MAX_PATH] = {};
  EXPECT_EQ(GetTempFileNameW(qv::ToUtf16(prefix.Dir()).c_str(), WSTR("ab"), 0x1A2B, name), 0x1A2Bu);
  EXPECT_EQ(qv::ToUtf8(name), prefix.Dir() + "/ab1A2B.tmp");
  EXPECT_FALSE(std::filesystem::exists(prefix.Dir() + "/ab1A2B.tmp"));
}

TEST(TempFileName, Failures) {
  qv::testing::TempPrefix prefix;
  struct Case {
    std::string folder;
    DWORD error;
  } cases[] = {
      {prefix.Dir() + "/missing", ERROR_PATH_NOT_FOUND},
      {"relative", ERROR_PATH_NOT_FOUND},
      {prefix.Dir() + "/../x", ERROR_INVALID_NAME},
      {"/" + std::string(MAX_PATH, 'x'), ERROR_BUFFER_OVERFLOW},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    SetLastError(0);
    EXPECT_EQ(CreateTempFile(c.folder).number, 0u);
    EXPECT_EQ(GetLastError(), c.error);
  }
  SetLastError(0);
  EXPECT_EQ(CreateTempFile(prefix.Dir(), "a/b").number, 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_NAME});
}

}  // namespace

#include <gtest/gtest.h>
#include <winbase.h>

#include <filesystem>
#include <unistd.h>

#include "FileTestSupport.h"
#include "TempPrefix.h"

namespace {

using qv::files::testing::FolderEntries;
using qv::files::testing::ReadHostFile;
using qv::files::testing::WriteHostFile;
namespace fs = std::filesystem;

class CopyFile : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(prefix_.Path("out"));
    WriteHostFile(Source(), "new data");
    WriteHostFile(Destination(), "old data");
  }
  std::string Source() const { return prefix_.Path("job.tmp"); }
  std::string Destination() const { return prefix_.Path("out/report.prn"); }
  // Only the names the test made: no temporary copy left behind.
  void ExpectNoLeftovers() const {
    for (const std::string& name : FolderEntries(prefix_.Path("out")))
      EXPECT_EQ(name.rfind(".qvcopy", 0), std::string::npos) << name;
  }

  qv::testing::TempPrefix prefix_;
};

TEST_F(CopyFile, ReplacesTheDestination) {
  ASSERT_TRUE(CopyFileA(Source().c_str(), Destination().c_str(), FALSE)) << GetLastError();
  EXPECT_EQ(ReadHostFile(Destination()), "new data");
  EXPECT_EQ(ReadHostFile(Source()), "new data");
  EXPECT_EQ(FolderEntries(prefix_.Path("out")).size(), 1u);
}

TEST_F(CopyFile, LargeFileIsCopiedWhole) {
  std::string data;
  for (int i = 0; data.size() < 3 * 128 * 1024 + 17; ++i) data += std::to_string(i) + ',';
  WriteHostFile(Source(), data);
  ASSERT_TRUE(CopyFileA(Source().c_str(), Destination().c_str(), FALSE)) << GetLastError();
  EXPECT_EQ(ReadHostFile(Destination()), data);
}

// Copies made in the kernel where it can, through a buffer where it can't: every source gives
// its whole content.
TEST_F(CopyFile, EverySourceIsCopiedWhole) {
  std::string shared = "/dev/shm/qv-copy-" + std::to_string(getpid());
  WriteHostFile(shared, "on another file system");
  WriteHostFile(prefix_.Path("empty"), "");
  struct Case {
    const char* name;
    std::string source;
  } cases[] = {
      {"an empty file", prefix_.Path("empty")},
      {"a file on another file system (tmpfs)", shared},
      {"a file whose size the kernel gives as 0", "/proc/version"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(CopyFileA(c.source.c_str(), Destination().c_str(), FALSE)) << c.name << ": " << GetLastError();
    std::string expected = ReadHostFile(c.source);
    EXPECT_EQ(ReadHostFile(Destination()), expected) << c.name;
    if (c.source != prefix_.Path("empty")) {
      EXPECT_FALSE(expected.empty()) << c.name;
    }
  }
  unlink(shared.c_str());
  ExpectNoLeftovers();
}

TEST_F(CopyFile, DrivePaths) {
  fs::create_directories(prefix_.Path("drive_c/Archive"));
  WriteHostFile(prefix_.Path("drive_c/in.prn"), "drive data");
  ASSERT_TRUE(CopyFileW(WSTR("C:\\in.prn"), WSTR("c:/Archive/out.prn"), FALSE)) << GetLastError();
  EXPECT_EQ(ReadHostFile(prefix_.Path("drive_c/Archive/out.prn")), "drive data");
}

TEST_F(CopyFile, FailureLeavesTheOldFileIntact) {
  fs::create_directories(prefix_.Path("out/folder"));
  struct Case {
    std::string source;
    std::string destination;
    DWORD error;
  } cases[] = {
      {prefix_.Path("missing.tmp"), Destination(), ERROR_FILE_NOT_FOUND},
      {prefix_.Path("missing/job.tmp"), Destination(), ERROR_PATH_NOT_FOUND},
      {prefix_.Path("out"), Destination(), ERROR_ACCESS_DENIED},  // a folder as the source
      // Fails while reading, after the copy under a temporary name has begun.
      {"/proc/self/mem", Destination(), ERROR_GEN_FAILURE},
      {Source(), prefix_.Path("out/folder"), ERROR_ACCESS_DENIED},
      {Source(), prefix_.Path("out/missing/report.prn"), ERROR_PATH_NOT_FOUND},
      {Source(), prefix_.Path("out/report.prn/x"), ERROR_PATH_NOT_FOUND},
      {Source(), prefix_.Path("out/../report.prn"), ERROR_INVALID_NAME},
      {Source(), "report.prn", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source + " -> " + c.destination);
    EXPECT_FALSE(CopyFileA(c.source.c_str(), c.destination.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(ReadHostFile(Destination()), "old data");
    ExpectNoLeftovers();
  }
  EXPECT_TRUE(fs::is_directory(prefix_.Path("out/folder")));
  EXPECT_FALSE(fs::exists("report.prn"));
}

TEST_F(CopyFile, PermissionFailuresLeaveTheOldFileIntact) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions don't bind the superuser";
  fs::permissions(Source(), fs::perms::none);
  EXPECT_FALSE(CopyFileA(Source().c_str(), Destination().c_str(), FALSE));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  fs::permissions(Source(), fs::perms::owner_read | fs::perms::owner_write);

  fs::permissions(prefix_.Path("out"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(CopyFileA(Source().c_str(), Destination().c_str(), FALSE));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  fs::permissions(prefix_.Path("out"), fs::perms::owner_all);
  EXPECT_EQ(ReadHostFile(Destination()), "old data");
  ExpectNoLeftovers();
}

// Runs for the superuser too: the mode still tells a read-only file, and the rename that
// replaces a destination needs only the folder to be writable.
TEST_F(CopyFile, ReadOnlyDestinationIsKept) {
  struct Case {
    const char* name;
    fs::perms mode;
    bool replaced;
  } cases[] = {
      {"read for all", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read, false},
      {"owner read only", fs::perms::owner_read, false},
      {"read and execute", fs::perms::owner_read | fs::perms::owner_exec, false},
      {"no bits at all", fs::perms::none, false},
      {"owner write", fs::perms::owner_read | fs::perms::owner_write, true},
      {"group write only", fs::perms::owner_read | fs::perms::group_write, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteHostFile(Destination(), "old data");
    fs::permissions(Destination(), c.mode);
    SetLastError(0);
    EXPECT_EQ(CopyFileA(Source().c_str(), Destination().c_str(), FALSE), c.replaced ? TRUE : FALSE);
    if (c.replaced) {
      EXPECT_EQ(ReadHostFile(Destination()), "new data");
    } else {
      EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
      EXPECT_EQ(fs::status(Destination()).permissions(), c.mode) << "the mode is kept too";
      fs::permissions(Destination(), fs::perms::owner_read);
      EXPECT_EQ(ReadHostFile(Destination()), "old data");
    }
    ExpectNoLeftovers();
    fs::permissions(Destination(), fs::perms::owner_read | fs::perms::owner_write);
  }
  // Windows shows the same files as read-only.
  fs::permissions(Destination(), fs::perms::owner_read);
  EXPECT_NE(GetFileAttributesA(Destination().c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(CopyFile, LinkAtTheDestinationIsReplacedNotFollowed) {
  std::string target = prefix_.Path("precious");
  WriteHostFile(target, "precious data");
  fs::remove(Destination());
  fs::create_symlink(target, Destination());
  ASSERT_TRUE(CopyFileA(Source().c_str(), Destination().c_str(), FALSE)) << GetLastError();
  EXPECT_FALSE(fs::is_symlink(Destination()));
  EXPECT_EQ(ReadHostFile(Destination()), "new data");
  EXPECT_EQ(ReadHostFile(target), "precious data");

  // A link to nothing: replaced, and nothing created where it pointed.
  fs::remove(Destination());
  fs::create_symlink(prefix_.Path("nowhere"), Destination());
  ASSERT_TRUE(CopyFileA(Source().c_str(), Destination().c_str(), FALSE)) << GetLastError();
  EXPECT_FALSE(fs::is_symlink(Destination()));
  EXPECT_FALSE(fs::exists(prefix_.Path("nowhere")));
}

TEST_F(CopyFile, FailIfExistsNeverOverwrites) {
  std::string dangling = prefix_.Path("out/dangling.prn");
  fs::create_symlink(prefix_.Path("nowhere"), dangling);
  for (const std::string& existing : {Destination(), dangling}) {
    SCOPED_TRACE(existing);
    EXPECT_FALSE(CopyFileA(Source().c_str(), existing.c_str(), TRUE));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_EXISTS});
  }
  EXPECT_EQ(ReadHostFile(Destination()), "old data");
  EXPECT_FALSE(fs::exists(prefix_.Path("nowhere")));

  std::string fresh = prefix_.Path("out/fresh.prn");
  ASSERT_TRUE(CopyFileA(Source().c_str(), fresh.c_str(), TRUE)) << GetLastError();
  EXPECT_EQ(ReadHostFile(fresh), "new data");
  ExpectNoLeftovers();
}

}  // namespace

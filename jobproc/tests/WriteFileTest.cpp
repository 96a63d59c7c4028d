// The write-file action on the embedded drives: the converted path, the folders created on the
// way, the copy, and what is logged when a step fails.
#include <gtest/gtest.h>
#include <qv/paths.h>
#include <qv/utf.h>

#include <filesystem>

#include "ActionWriteFile.h"
#include "TempPrefix.h"
#include "TestJob.h"
#include "TestRegistry.h"

using namespace MarrowjetUI;
using namespace jobproc_testing;
namespace fs = std::filesystem;

namespace {

const char kDataBytes[] = "job data\0\x01\xfe\xff\r\n";
const std::string kData(kDataBytes, sizeof kDataBytes - 1);

class WriteFileTest : public ::testing::Test {
 protected:
  WriteFileTest() : log(prefix.Path("writefile.log")) {
    fs::create_directories(DriveC());
    fs::create_directories(DriveD());
    SetText(qv::kDosDevicesKey, "C:", DriveC().string());
    SetText(qv::kDosDevicesKey, "D:", DriveD().string());
    WriteFile(Spooled(), kData);
  }

  fs::path DriveC() const { return prefix.Path("drive_c"); }
  fs::path DriveD() const { return prefix.Path("drive_d"); }
  std::string Spooled() const { return prefix.Path("DRN1.tmp"); }

  void Run(const std::string& pathTemplate, const TestJob& job) {
    ActionWriteFile action;
    action.LoadFromString(qv::ToUtf16("WriteFile: " + pathTemplate));
    action.Run(qv::ToUtf16(Spooled()), job.Get(), DateOf(2024, 3, 5, 9, 7, 3));
  }

  // Every file and folder on the two drives, and any file that escaped them.
  std::vector<std::string> Tree() const {
    std::vector<std::string> names;
    for (const fs::path& drive : {DriveC(), DriveD()}) {
      names.push_back(drive.filename().string() + "/");
      for (const auto& entry : fs::recursive_directory_iterator(drive)) {
        const std::string name = fs::relative(entry.path(), prefix.Dir()).string();
        names.push_back(name + (entry.is_directory() ? "/" : ""));
      }
    }
    for (const fs::path& escaped : {fs::path(prefix.Path("x.prn")), fs::path(prefix.Dir()).parent_path() / "x.prn",
                                    fs::path(prefix.Path("host.prn"))})
      if (fs::exists(escaped)) names.push_back(escaped.string());
    std::sort(names.begin(), names.end());
    return names;
  }

  qv::testing::TempPrefix prefix;
  LogFile log;
};

const std::string kNoDrive = "Path must start with a drive qualifier, ie 'C:\\'";

TEST_F(WriteFileTest, Table) {
  struct Row {
    const char* name;
    std::string pathTemplate;
    std::vector<std::string> treeAfter;  // below the prefix
    std::vector<std::string> logged;
  };
  const std::vector<Row> rows = {
      {"FoldersCreatedWhereMissing",
       "D:\\Archive\\?UN?\\?YE?\\?DN?.prn",
       {"drive_c/", "drive_d/", "drive_d/Archive/", "drive_d/Archive/alice/", "drive_d/Archive/alice/2024/",
        "drive_d/Archive/alice/2024/report.prn"},
       {}},
      {"LowerCaseDrive", "c:\\out.prn", {"drive_c/", "drive_c/out.prn", "drive_d/"}, {}},
      {"NoDrive",
       "Archive\\out.prn",
       {"drive_c/", "drive_d/"},
       {Entry(516, "ActionWriteFile::CreateFilePath", kNoDrive),
        Entry(517, "ActionWriteFile::Run", "Error writing file: Archive\\out.prn")}},
      {"NetworkPath",
       "\\\\server\\share\\out.prn",
       {"drive_c/", "drive_d/"},
       {Entry(516, "ActionWriteFile::CreateFilePath", kNoDrive),
        Entry(517, "ActionWriteFile::Run", "Error writing file: \\\\server\\share\\out.prn")}},
      // A host path fails the drive check but the copy is still made: the host path is absolute.
      {"HostPathWithoutDrive",
       prefix.Path("drive_d/host.prn"),
       {"drive_c/", "drive_d/", "drive_d/host.prn"},
       {Entry(516, "ActionWriteFile::CreateFilePath", kNoDrive)}},
      // "/" separates elements too: the check fails, yet the copy lands where its folder exists.
      {"ForwardSlashAfterTheDrive",
       "C:/out.prn",
       {"drive_c/", "drive_c/out.prn", "drive_d/"},
       {Entry(516, "ActionWriteFile::CreateFilePath", kNoDrive)}},
      {"ForwardSlashFolderIsNotCreated",
       "C:/Fwd/out.prn",
       {"drive_c/", "drive_d/"},
       {Entry(516, "ActionWriteFile::CreateFilePath", kNoDrive),
        Entry(517, "ActionWriteFile::Run", "Error writing file: C:/Fwd/out.prn")}},
      {"EmptyTemplate",
       "",
       {"drive_c/", "drive_d/"},
       {Entry(516, "ActionWriteFile::CreateFilePath", kNoDrive), Entry(517, "ActionWriteFile::Run", "Error writing file: ")}},
      {"DocumentNameLeadingOutside",
       "C:\\Jobs\\?DN?.prn",
       {"drive_c/", "drive_c/Jobs/", "drive_d/"},
       {Entry(123, "ActionWriteFile::CreateFilePath", SystemText(123)),
        Entry(517, "ActionWriteFile::Run", "Error writing file: C:\\Jobs\\..\\..\\x.prn")}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(DriveC());
    fs::remove_all(DriveD());
    fs::create_directories(DriveC());
    fs::create_directories(DriveD());
    fs::remove(log.Path());
    TestJob job;
    job.User("alice").Document(std::string(row.name) == "DocumentNameLeadingOutside" ? "..\\..\\x" : "report");
    Run(row.pathTemplate, job);
    EXPECT_EQ(Tree(), row.treeAfter);
    EXPECT_EQ(log.Entries(), row.logged);
  }
}

TEST_F(WriteFileTest, ExistingFileIsReplaced) {
  WriteFile((DriveC() / "out.prn").string(), "an older and much longer file than the new one");
  Run("C:\\out.prn", TestJob());
  EXPECT_EQ(ReadFile((DriveC() / "out.prn").string()), kData);
}

// Also as the superuser: the file's mode says read-only whoever runs the job.
TEST_F(WriteFileTest, ReadOnlyFileIsKeptAndTheCopyLogged) {
  const fs::path out = DriveC() / "out.prn";
  WriteFile(out.string(), "kept");
  fs::permissions(out, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Run("C:\\out.prn", TestJob());
  EXPECT_EQ(ReadFile(out.string()), "kept");
  EXPECT_EQ(fs::status(out).permissions(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::vector<std::string> expected = {Entry(517, "ActionWriteFile::Run", "Error writing file: C:\\out.prn")};
  EXPECT_EQ(log.Entries(), expected);
}

TEST_F(WriteFileTest, ElementThatIsAFileFailsTheCopy) {
  WriteFile((DriveC() / "x").string(), "a file");
  Run("C:\\x\\out.prn", TestJob());
  EXPECT_EQ(ReadFile((DriveC() / "x").string()), "a file");
  const std::vector<std::string> expected = {Entry(517, "ActionWriteFile::Run", "Error writing file: C:\\x\\out.prn")};
  EXPECT_EQ(log.Entries(), expected);
}

TEST_F(WriteFileTest, SymlinkAtTheDestinationIsReplacedNotFollowed) {
  const fs::path target = prefix.Path("elsewhere.txt");
  WriteFile(target.string(), "must stay");
  fs::create_symlink(target, DriveC() / "out.prn");
  Run("C:\\out.prn", TestJob());
  EXPECT_EQ(ReadFile(target.string()), "must stay");
  EXPECT_FALSE(fs::is_symlink(DriveC() / "out.prn"));
  EXPECT_EQ(ReadFile((DriveC() / "out.prn").string()), kData);
}

TEST_F(WriteFileTest, MissingSpooledFileIsLogged) {
  fs::remove(Spooled());
  Run("C:\\out.prn", TestJob());
  EXPECT_FALSE(fs::exists(DriveC() / "out.prn"));
  const std::vector<std::string> expected = {Entry(517, "ActionWriteFile::Run", "Error writing file: C:\\out.prn")};
  EXPECT_EQ(log.Entries(), expected);
}

TEST_F(WriteFileTest, FolderThatCannotBeCreatedStopsFurtherFolders) {
  Run("Q:\\a\\b\\out.prn", TestJob());  // Q: is not mapped
  const std::vector<std::string> entries = log.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].substr(0, 10 + 1 + 31), "3          ActionWriteFile::CreateFilePath");
  EXPECT_EQ(entries[1], Entry(517, "ActionWriteFile::Run", "Error writing file: Q:\\a\\b\\out.prn"));
}

TEST_F(WriteFileTest, StoredFormKeepsBlanksAReloadDropsThem) {
  ActionWriteFile action;
  action.LoadFromString(WSTR("WriteFile:   C:\\a.prn  "));
  EXPECT_EQ(qv::ToUtf8(action.AsString()), "WriteFile: C:\\a.prn");
  ActionWriteFile shortLine;
  shortLine.LoadFromString(WSTR("WriteFile"));
  EXPECT_EQ(qv::ToUtf8(shortLine.AsString()), "WriteFile: ");
}

}  // namespace

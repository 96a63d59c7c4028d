// Where a write-file action may write when a job's fields or a planted link try to steer it:
// the template's literal folder is the administrator's (links there are followed), everything a
// field produced is walked without following links, and nothing is ever written outside.
#include <gtest/gtest.h>
#include <qv/paths.h>
#include <qv/utf.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "ActionWriteFile.h"
#include "TempPrefix.h"
#include "TestJob.h"
#include "TestRegistry.h"

using namespace MarrowjetUI;
using namespace jobproc_testing;
namespace fs = std::filesystem;

namespace {

const std::string kData = "job data";
const std::string kNoDrive = "Path must start with a drive qualifier, ie 'C:\\'";

class WritePathSafetyTest : public ::testing::Test {
 public:
  WritePathSafetyTest() : log(prefix.Path("safety.log")) {
    SetText(qv::kDosDevicesKey, "C:", DriveC().string());
    WriteFile(Spooled(), kData);
  }

  fs::path DriveC() const { return prefix.Path("drive_c"); }
  fs::path Outside() const { return prefix.Path("outside"); }
  std::string Spooled() const { return prefix.Path("DRN1.tmp"); }

  void Reset() {
    fs::remove_all(DriveC());
    fs::remove_all(Outside());
    fs::create_directories(DriveC() / "Out");
    fs::create_directories(Outside());
    WriteFile((Outside() / "passwd.prn").string(), "must stay");
    fs::remove(log.Path());
  }

  // Every file below the outside folder with its content: only what the test put there.
  std::vector<std::string> OutsideFiles() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(Outside()))
      if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), Outside()).string() + "=" + ReadFile(entry.path().string()));
    std::sort(files.begin(), files.end());
    return files;
  }

  qv::testing::TempPrefix prefix;
  LogFile log;
};

const std::string kWriteFailed = "Error writing file: ";

TEST_F(WritePathSafetyTest, Table) {
  struct Row {
    const char* name;
    std::string pathTemplate;
    std::string user, machine, document;
    std::function<void(WritePathSafetyTest&)> plant;  // links and folders made before the run
    std::string written;                              // below drive_c, "" when nothing may be
    std::vector<std::string> outsideAfter;
    std::vector<std::string> logged;
  };
  const std::string outside = Outside().string();
  const std::vector<std::string> untouched = {"passwd.prn=must stay"};
  const std::vector<Row> rows = {
      {"PlainFieldFolders", "C:\\Out\\?UN?\\?MN?\\?DN?.prn", "bob", "pc", "report", nullptr,
       "Out/bob/pc/report.prn", untouched, {}},
      {"LinkInLiteralFolderIsFollowed", "C:\\Lit\\?UN?\\?DN?.prn", "bob", "pc", "report",
       [](WritePathSafetyTest& t) { fs::create_directory_symlink(t.Outside(), t.DriveC() / "Lit"); },
       "", {"bob/report.prn=" + kData, "passwd.prn=must stay"}, {}},
      {"LinkAtFieldFolder", "C:\\Out\\?UN?\\?DN?.prn", "bob", "pc", "report",
       [](WritePathSafetyTest& t) { fs::create_directory_symlink(t.Outside(), t.DriveC() / "Out" / "bob"); },
       "", untouched, {Entry(517, "ActionWriteFile::Run", kWriteFailed + "C:\\Out\\bob\\report.prn")}},
      {"LinkBelowAFieldFolder", "C:\\Out\\?UN?\\?MN?\\?DN?.prn", "dave", "etc", "passwd",
       [](WritePathSafetyTest& t) { fs::create_directory_symlink(t.Outside(), t.DriveC() / "Out" / "dave"); },
       "", untouched,
       {Entry(1921, "ActionWriteFile::CreateFilePath", SystemText(1921)),
        Entry(517, "ActionWriteFile::Run", kWriteFailed + "C:\\Out\\dave\\etc\\passwd.prn")}},
      {"LinkAtTheFileIsReplaced", "C:\\Out\\?DN?.prn", "bob", "pc", "passwd",
       [](WritePathSafetyTest& t) { fs::create_symlink(t.Outside() / "passwd.prn", t.DriveC() / "Out" / "passwd.prn"); },
       "Out/passwd.prn", untouched, {}},
      {"AbsoluteHostPathFromField", "?DN?", "bob", "pc", outside + "/abs.prn", nullptr, "", untouched,
       {Entry(516, "ActionWriteFile::CreateFilePath", kNoDrive),
        Entry(517, "ActionWriteFile::Run", kWriteFailed + outside + "/abs.prn")}},
      {"DriveLetterFromField", "?DN?", "bob", "pc", "C:\\x.prn", nullptr, "", untouched,
       {Entry(517, "ActionWriteFile::Run", kWriteFailed + "C:\\x.prn")}},
      // A drive letter a field produced is only a folder's name below the literal folder.
      {"DriveLetterInsideField", "C:\\Out\\?DN?", "bob", "pc", "Z:\\srv\\z.prn", nullptr, "Out/Z:/srv/z.prn",
       untouched, {}},
      {"DotDotInField", "C:\\Out\\?DN?.prn", "bob", "pc", "..\\..\\..\\outside\\passwd", nullptr, "", untouched,
       {Entry(123, "ActionWriteFile::CreateFilePath", SystemText(123)),
        Entry(517, "ActionWriteFile::Run", kWriteFailed + "C:\\Out\\..\\..\\..\\outside\\passwd.prn")}},
      {"SlashesInFieldStayBelow", "C:\\Out\\?DN?.prn", "bob", "pc", "/etc/passwd", nullptr, "", untouched,
       {Entry(517, "ActionWriteFile::Run", kWriteFailed + "C:\\Out\\/etc/passwd.prn")}},
      {"FieldInTheMiddleOfAnElement", "C:\\Out\\x?UN?\\?DN?.prn", "bob", "pc", "report",
       [](WritePathSafetyTest& t) { fs::create_directory_symlink(t.Outside(), t.DriveC() / "Out" / "xbob"); },
       "", untouched, {Entry(517, "ActionWriteFile::Run", kWriteFailed + "C:\\Out\\xbob\\report.prn")}},
      {"ForwardSlashLiteral", "C:/Out/fwd.prn", "bob", "pc", "report", nullptr, "Out/fwd.prn", untouched,
       {Entry(516, "ActionWriteFile::CreateFilePath", kNoDrive)}},
      {"HostPathLiteral", outside + "/host.prn", "bob", "pc", "report", nullptr, "",
       {"host.prn=" + kData, "passwd.prn=must stay"}, {Entry(516, "ActionWriteFile::CreateFilePath", kNoDrive)}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Reset();
    if (row.plant) row.plant(*this);
    TestJob job;
    job.User(row.user).Machine(row.machine).Document(row.document);
    ActionWriteFile action;
    action.LoadFromString(qv::ToUtf16("WriteFile: " + row.pathTemplate));
    action.Run(qv::ToUtf16(Spooled()), job.Get(), DateOf(2024, 3, 5, 9, 7, 3));
    if (!row.written.empty()) {
      EXPECT_FALSE(fs::is_symlink(DriveC() / row.written));
      EXPECT_EQ(ReadFile((DriveC() / row.written).string()), kData);
    }
    EXPECT_EQ(OutsideFiles(), row.outsideAfter);
    EXPECT_EQ(log.Entries(), row.logged);
  }
}

TEST(LiteralFolderLength, Table) {
  struct Row {
    const char* name;
    std::u16string pathTemplate, destination;
    size_t length;
  };
  const std::vector<Row> rows = {
      {"FieldsAfterFolder", u"C:\\Out\\?UN?\\a.prn", u"C:\\Out\\bob\\a.prn", 7},
      {"NoFieldCodes", u"C:\\Out\\a.prn", u"C:\\Out\\a.prn", 7},
      {"DriveRoot", u"C:\\?DN?", u"C:\\x", 3},
      {"ForwardSlashes", u"C:/Fwd/out.prn", u"C:/Fwd/out.prn", 7},
      {"HostRoot", u"/?DN?", u"/x", 1},
      {"StartsWithField", u"?DN?", u"C:\\x.prn", 0},
      {"NoFolder", u"out.prn", u"out.prn", 0},
      {"QuestionMarksThatAreNoCode", u"C:\\a?b\\?UN?", u"C:\\a?b\\bob", 7},
      {"DestinationDiffers", u"C:\\Out\\?UN?", u"D:\\Out\\bob", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ActionWriteFile::LiteralFolderLength(row.pathTemplate, row.destination), row.length);
  }
}

}  // namespace

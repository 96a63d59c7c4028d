// The diagnostics sink: what reaches it, with which job, and which host path the file calls
// note for it.
#include <qv/diagnostics.h>
#include <qv/paths.h>
#include <qv/status_text.h>
#include <qv/utf.h>

#include <TempPrefix.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace qv {
namespace {

class RecordingSink : public DiagnosticsSink {
 public:
  RecordingSink() { SetDiagnosticsSink(this); }
  ~RecordingSink() override { SetDiagnosticsSink(nullptr); }
  void Deliver(const Failure& failure) noexcept override { delivered.push_back(failure); }
  std::vector<Failure> delivered;
};

JobInHand Job(const std::string& printer, DWORD id) {
  JobInHand job;
  job.printer = printer;
  job.jobId = id;
  job.port = printer + "Port";
  return job;
}

TEST(Diagnostics, ReportsCarryTheLoggersWordsWithoutTheLineBreakAndTheJobInHand) {
  RecordingSink sink;
  QvReportFailure(5, u"Access is denied.\r\n", u"LocalEndDocPort");
  {
    JobInHandScope outer(Job("Archive", 12));
    QvReportFailure(static_cast<LONG>(0x80040205), u"Error writing file: C:\\a.prn", u"ActionWriteFile::Run");
    {
      JobInHandScope inner(Job("Copy", 13));  // a reprint has its own
      QvReportFailure(2, nullptr, nullptr);
    }
    QvReportFailure(3, u"back", u"S");
  }
  QvReportFailure(4, u"after", u"S");

  struct Row {
    LONG number;
    const char* description;
    const char* source;
    DWORD job;  // 0: none in hand
  } rows[] = {
      {5, "Access is denied.", "LocalEndDocPort", 0},
      {static_cast<LONG>(0x80040205), "Error writing file: C:\\a.prn", "ActionWriteFile::Run", 12},
      {2, "", "", 13},
      {3, "back", "S", 12},
      {4, "after", "S", 0},
  };
  ASSERT_EQ(sink.delivered.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    const Failure& failure = sink.delivered[i];
    EXPECT_EQ(failure.number, rows[i].number);
    EXPECT_EQ(failure.description, rows[i].description);
    EXPECT_EQ(failure.source, rows[i].source);
    EXPECT_EQ(failure.job.has_value(), rows[i].job != 0);
    if (failure.job) {
      EXPECT_EQ(failure.job->jobId, rows[i].job);
    }
  }
  EXPECT_EQ(sink.delivered[1].job->port, "ArchivePort");
  EXPECT_FALSE(CurrentJobInHand().has_value());
}

TEST(Diagnostics, TheJobInHandBelongsToItsThread) {
  RecordingSink sink;
  JobInHandScope job(Job("Archive", 7));
  std::thread([] { QvReportFailure(1, u"elsewhere", u"S"); }).join();
  ASSERT_EQ(sink.delivered.size(), 1u);
  EXPECT_FALSE(sink.delivered[0].job.has_value());
}

TEST(Diagnostics, ANotedPathGoesWithTheNextReportOnly) {
  RecordingSink sink;
  NoteFailedHostPath("/srv/out/a.prn", ERROR_ACCESS_DENIED);
  QvReportFailure(517, u"Error writing file: C:\\a.prn", u"ActionWriteFile::Run");
  QvReportFailure(1, u"next", u"S");
  NoteFailedHostPath("/srv/x", ERROR_ACCESS_DENIED);
  NoteFailedHostPath({}, 0);  // an operation that started afresh
  QvReportFailure(1, u"forgotten", u"S");
  NoteUnmappedPath("drive Q: is not mapped");
  QvReportFailure(1, u"unmapped", u"S");

  ASSERT_EQ(sink.delivered.size(), 4u);
  EXPECT_EQ(FailureText(sink.delivered[0]),
            "Error writing file: C:\\a.prn (/srv/out/a.prn): " + StatusText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(FailureText(sink.delivered[1]), "next");
  EXPECT_EQ(FailureText(sink.delivered[2]), "forgotten");
  EXPECT_EQ(FailureText(sink.delivered[3]), "unmapped: drive Q: is not mapped");
}

TEST(Diagnostics, CollectorsCollectWithoutASinkAndNest) {
  FailureCollector outer;
  QvReportFailure(1, u"one", u"S");
  {
    FailureCollector inner;
    QvReportFailure(2, u"two", u"S");
    EXPECT_EQ(inner.Failures().size(), 1u);
  }
  QvReportFailure(3, u"three", u"S");
  ASSERT_EQ(outer.Failures().size(), 2u);
  EXPECT_EQ(outer.Failures()[1].description, "three");
}

TEST(Diagnostics, WithoutASinkOrCollectorNothingHappens) {
  NoteFailedHostPath("/srv/x", 5);
  QvReportFailure(1, u"nobody listens", u"S");
  RecordingSink sink;
  QvReportFailure(2, u"now", u"S");
  ASSERT_EQ(sink.delivered.size(), 1u);
  EXPECT_EQ(sink.delivered[0].hostPath, "") << "the note went with the unheard report";
}

// The file calls that write note the host path (or why there is none) when they fail.
class FileNotesTest : public ::testing::Test {
 protected:
  FileNotesTest() {
    std::filesystem::create_directories(prefix.Path("c"));
    SetDrive("C:", prefix.Path("c"));
    std::ofstream(prefix.Path("job.tmp")) << "data";
  }
  static void SetDrive(const char* name, const std::string& folder) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDosDevicesKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);
  }
  std::string Reported() {
    RecordingSink sink;
    QvReportFailure(1, u"failed", u"S");
    return sink.delivered.empty() ? "(nothing)" : FailureText(sink.delivered[0]);
  }
  testing::TempPrefix prefix;
};

TEST_F(FileNotesTest, FailedCopiesAndFoldersNameTheirHostPath) {
  const std::string job = prefix.Path("job.tmp");
  const std::string c = prefix.Path("c");
  struct Row {
    const char* what;
    std::function<BOOL()> call;
    std::string reported;
  } rows[] = {
      {"copy into a missing folder", [&] { return CopyFileA(job.c_str(), "C:\\missing\\a.prn", FALSE); },
       "failed (" + c + "/missing/a.prn): " + StatusText(ERROR_PATH_NOT_FOUND)},
      {"folder in a missing folder", [&] { return CreateDirectoryA("C:\\missing\\deeper", nullptr); },
       "failed (" + c + "/missing/deeper): " + StatusText(ERROR_PATH_NOT_FOUND)},
      {"copy to a relative path", [&] { return CopyFileA(job.c_str(), "out\\a.prn", FALSE); },
       "failed: not an absolute path: it needs a drive (C:\\...) or must start with /"},
      {"copy to an unmapped drive", [&] { return CopyFileA(job.c_str(), "q:\\a.prn", FALSE); },
       "failed: drive Q: is not mapped to a folder (\"quorvane drive Q: DIR\" maps it)"},
      {"folder with ..", [&] { return CreateDirectoryA("C:\\a\\..\\b", nullptr); },
       "failed: a path may not hold \".\" or \"..\" elements"},
      {"write to a full disk",
       [&] {
         HANDLE file = CreateFileA("/dev/full", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         DWORD written = 0;
         const BOOL wrote = WriteFile(file, "x", 1, &written, nullptr);
         CloseHandle(file);
         return wrote;
       },
       "failed (/dev/full): " + StatusText(ERROR_DISK_FULL)},
      {"a copy that works forgets an earlier note",
       [&] {
         CreateDirectoryA("C:\\missing\\deeper", nullptr);
         return CopyFileA(job.c_str(), "C:\\a.prn", FALSE) ? FALSE : TRUE;
       },
       "failed"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_FALSE(row.call());
    EXPECT_EQ(Reported(), row.reported);
  }
}

TEST_F(FileNotesTest, ATemporaryFileThatCannotBeMadeIsNamed) {
  const std::string notAFolder = prefix.Path("job.tmp");
  const std::u16string folder = ToUtf16(notAFolder);
  WCHAR name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameW(folder.c_str(), WSTR("DRN"), 0, name), 0u);
  const std::string reported = Reported();
  EXPECT_EQ(reported.rfind("failed (" + notAFolder + "/DRN", 0), 0u) << reported;
}

// A failure that brings its own words but names no file gets the file noted for it.
TEST_F(FileNotesTest, AFailureWithItsOwnWordsGetsTheNotedFile) {
  RecordingSink sink;
  NoteFailedHostPath("/srv/out/DRN1.tmp", ERROR_DISK_FULL);
  ReportFailure(Failure{1, "WritePort failed", "", "", "its own words", {}});
  ASSERT_EQ(sink.delivered.size(), 1u);
  EXPECT_EQ(FailureText(sink.delivered[0]), "WritePort failed (/srv/out/DRN1.tmp): its own words");
}

TEST_F(FileNotesTest, AFolderThatMayNotBeWrittenIsNamed) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  const std::string locked = prefix.Path("c/locked");
  std::filesystem::create_directories(locked);
  chmod(locked.c_str(), 0500);
  EXPECT_FALSE(CopyFileA(prefix.Path("job.tmp").c_str(), "C:\\locked\\a.prn", FALSE));
  EXPECT_EQ(Reported(), "failed (" + locked + "/a.prn): " + StatusText(ERROR_ACCESS_DENIED));
  chmod(locked.c_str(), 0700);
}

}  // namespace
}  // namespace qv

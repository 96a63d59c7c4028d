// StartDocPort, WritePort and EndDocPort: the job's bytes captured whole in a temporary file
// that lives from StartDocPort to the end of EndDocPort.
#include "MonitorFixture.h"

#include <fstream>
#include <functional>
#include <numeric>

namespace {

namespace fs = std::filesystem;

std::string Bytes(size_t count, char first) {
  std::string bytes(count, '\0');
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

TEST_F(MonitorTest, WritesLandOneAfterAnotherInTheJobsFile) {
  struct Case {
    const char* name;
    std::vector<size_t> writes;
  };
  for (const Case& c : {Case{"10, 0, 5 bytes", {10, 0, 5}}, Case{"no write", {}}, Case{"only 0 bytes", {0, 0}},
                        Case{"a large write between small ones", {1, 1 << 20, 3}}}) {
    SCOPED_TRACE(c.name);
    HANDLE port = Open(u"QV1:");
    ASSERT_TRUE(Start(port));
    std::string expected;
    char first = 'a';
    for (size_t count : c.writes) {
      const std::string bytes = Bytes(count, first++);
      DWORD written = 99;
      EXPECT_TRUE(Write(port, bytes, &written));
      EXPECT_EQ(written, count);
      expected += bytes;
    }
    auto files = TempFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Contents(files[0]), expected);
    EXPECT_TRUE(End(port));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_TRUE(monitor_.pfnClosePort(port));
  }
}

TEST_F(MonitorTest, TheFileIsReservedEmptyAsDrnInTheTemporaryFolder) {
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  auto files = TempFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].parent_path(), tempDir_);
  EXPECT_TRUE(files[0].filename().string().starts_with("DRN"));
  EXPECT_EQ(fs::file_size(files[0]), 0u);
}

TEST_F(MonitorTest, AWriteOfNoBytesDoesNotOpenTheFile) {
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  const fs::path file = TempFiles().at(0);
  fs::remove(file);
  EXPECT_TRUE(Write(port, ""));
  EXPECT_FALSE(fs::exists(file)) << "opening would have created it again";
}

// Between two writes the name may be swapped by whoever can write the temporary folder: the
// bytes go to the file StartDocPort made or nowhere, never through a link or into a stranger.
TEST_F(MonitorTest, AWriteReachesOnlyTheFileTheStartMade) {
  struct Row {
    const char* name;
    std::function<void(const fs::path& file, const fs::path& target)> swap;
    bool writes;
  };
  const std::vector<Row> rows = {
      {"Untouched", [](const fs::path&, const fs::path&) {}, true},
      {"Removed", [](const fs::path& file, const fs::path&) { fs::remove(file); }, false},
      {"ReplacedByALink",
       [](const fs::path& file, const fs::path& target) {
         fs::remove(file);
         fs::create_symlink(target, file);
       },
       false},
      {"ReplacedByAnotherFile",
       [](const fs::path& file, const fs::path&) {
         const fs::path other = fs::path(file) += ".other";
         std::ofstream(other) << "";
         fs::rename(other, file);
       },
       false},
      {"ReplacedByAHardLink",
       [](const fs::path& file, const fs::path& target) {
         fs::remove(file);
         fs::create_hard_link(target, file);
       },
       false},
      {"MovedAway",
       [](const fs::path& file, const fs::path&) { fs::rename(file, fs::path(file) += ".moved"); },
       false},
  };
  const fs::path target = tempDir_ / "target.txt";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::ofstream(target) << "must stay";
    HANDLE port = Open(u"QV1:");
    ASSERT_TRUE(Start(port));
    const fs::path file = TempFiles().at(0);
    ASSERT_TRUE(Write(port, "first "));
    row.swap(file, target);
    DWORD written = 99;
    SetLastError(0);
    EXPECT_EQ(Write(port, "second", &written), row.writes);
    EXPECT_EQ(written, row.writes ? 6u : 0u);
    EXPECT_EQ(Contents(target), "must stay");
    if (row.writes) {
      EXPECT_EQ(Contents(file), "first second");
    } else {
      EXPECT_NE(GetLastError(), 0u);
    }
    EXPECT_TRUE(End(port));
    for (const auto& entry : fs::directory_iterator(tempDir_))
      if (entry.path() != target) fs::remove(entry.path());
  }
}

TEST_F(MonitorTest, WithoutAJobWritesAndEndsFailAndSetNoError) {
  HANDLE opened = Open(u"QV1:");
  HANDLE ended = Open(u"QV2:");
  ASSERT_TRUE(Start(ended));
  ASSERT_TRUE(End(ended));
  for (HANDLE port : {opened, ended, reinterpret_cast<HANDLE>(42), reinterpret_cast<HANDLE>(0x100000002)}) {
    SetLastError(12345);
    DWORD written = 99;
    EXPECT_FALSE(Write(port, "data", &written));
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(End(port));
    EXPECT_EQ(GetLastError(), 12345u);
  }
}

TEST_F(MonitorTest, AJobThatCannotBeReadLeavesNoRecordAndNoFile) {
  struct Case {
    const char* name;
    std::u16string printer;
    DWORD jobId;
    DWORD getJobFailure;
    DWORD error;
  };
  for (const Case& c : {Case{"unknown job", u"Printer", 8, 0, ERROR_INVALID_PARAMETER},
                        Case{"unknown printer", u"Nowhere", 7, 0, ERROR_INVALID_PRINTER_NAME},
                        Case{"access denied", u"Printer", 7, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}}) {
    SCOPED_TRACE(c.name);
    Spooler().getJobFailure = c.getJobFailure;
    HANDLE port = Open(u"QV1:");
    EXPECT_FALSE(Start(port, c.jobId, c.printer));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_FALSE(Write(port, "data")) << "no record";
    EXPECT_EQ(Spooler().openPrinters, 0);
    Spooler().getJobFailure = 0;
  }
}

TEST_F(MonitorTest, EndingMarksTheJobPrintedThroughItsOwnPrinter) {
  Spooler().printers.insert(u"Other");
  Spooler().jobs[9] = FakeJob{};
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port, 9, u"Other"));
  ASSERT_TRUE(End(port));
  ASSERT_EQ(Spooler().setJobCalls.size(), 1u);
  EXPECT_EQ(Spooler().setJobCalls[0].printer, u"Other");
  EXPECT_EQ(Spooler().setJobCalls[0].jobId, 9u);
  EXPECT_EQ(Spooler().setJobCalls[0].command, static_cast<DWORD>(JOB_CONTROL_LAST_PAGE_EJECTED));
  for (const auto& datatype : Spooler().openedDatatypes) EXPECT_EQ(datatype, u"RAW");
  for (ACCESS_MASK access : Spooler().openedAccess) EXPECT_EQ(access, static_cast<ACCESS_MASK>(PRINTER_ALL_ACCESS));
  EXPECT_EQ(Spooler().openPrinters, 0) << "every printer opened is closed";
}

TEST_F(MonitorTest, EndingSucceedsWhenThePrinterHasGone) {
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  ASSERT_TRUE(Write(port, "data"));
  Spooler().printers.clear();
  EXPECT_TRUE(End(port));
  ASSERT_EQ(Spooler().setJobCalls.size(), 1u);
  EXPECT_EQ(Spooler().setJobCalls[0].printer, u"") << "called with no printer, and failed";
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(MonitorTest, ASecondStartReplacesTheRunningJobAndDeletesItsFile) {
  Spooler().jobs[8] = FakeJob{};
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port, 7));
  ASSERT_TRUE(Write(port, "first"));
  const fs::path first = TempFiles().at(0);
  ASSERT_TRUE(Start(port, 8));
  EXPECT_FALSE(fs::exists(first));
  ASSERT_EQ(TempFiles().size(), 1u);
  ASSERT_TRUE(Write(port, "second"));
  EXPECT_EQ(Contents(TempFiles().at(0)), "second");
  ASSERT_TRUE(End(port));
  ASSERT_EQ(Spooler().setJobCalls.size(), 1u);
  EXPECT_EQ(Spooler().setJobCalls[0].jobId, 8u);
}

TEST_F(MonitorTest, AFailedSecondStartLeavesTheRunningJobAlone) {
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port, 7));
  ASSERT_TRUE(Write(port, "kept"));
  EXPECT_FALSE(Start(port, 99));
  ASSERT_EQ(TempFiles().size(), 1u);
  EXPECT_EQ(Contents(TempFiles().at(0)), "kept");
  EXPECT_TRUE(Write(port, "!"));
  EXPECT_EQ(Contents(TempFiles().at(0)), "kept!");
}

TEST_F(MonitorTest, TwoPortsKeepTheirJobsApart) {
  Spooler().jobs[8] = FakeJob{};
  HANDLE one = Open(u"QV1:");
  HANDLE two = Open(u"QV2:");
  ASSERT_TRUE(Start(one, 7));
  const fs::path oneFile = TempFiles().at(0);
  ASSERT_TRUE(Start(two, 8));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(Write(one, "1"));
    ASSERT_TRUE(Write(two, "22"));
  }
  ASSERT_EQ(TempFiles().size(), 2u);
  EXPECT_EQ(Contents(oneFile), "111");
  ASSERT_TRUE(End(one));
  ASSERT_EQ(TempFiles().size(), 1u);
  EXPECT_EQ(Contents(TempFiles().at(0)), "222222");
}

TEST_F(MonitorTest, AFailedAppendIsReportedAndCountsNothing) {
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  const fs::path file = TempFiles().at(0);
  fs::remove(file);
  fs::create_directory(file);  // the path can no longer be opened as a file
  SetLastError(0);
  DWORD written = 99;
  EXPECT_FALSE(Write(port, "data", &written));
  EXPECT_EQ(written, 0u);
  EXPECT_NE(GetLastError(), 0u);
  fs::remove(file);
}

TEST_F(MonitorTest, WithoutATemporaryFolderTheJobStartsButTakesNoBytes) {
  setenv("TMPDIR", (tempDir_ / "missing").c_str(), 1);
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  DWORD written = 99;
  EXPECT_FALSE(Write(port, "data", &written));
  EXPECT_EQ(written, 0u);
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_TRUE(End(port));
}

}  // namespace

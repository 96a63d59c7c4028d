// The error report: the layout of a log line, where the log file comes from, and what happens
// when there is nowhere to write.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <stdexcept>

#include "TempPrefix.h"
#include "TestRegistry.h"
#include "ObjectError.h"
#include "modError.h"

#include <qv/diagnostics.h>

using namespace MarrowjetUI;
using namespace jobproc_testing;
namespace fs = std::filesystem;

namespace {

class ErrorLogTest : public ::testing::Test {
 protected:
  qv::testing::TempPrefix prefix;
};

TEST_F(ErrorLogTest, LineCarriesDateTimePaddedCodeAndSource) {
  LogFile log(prefix.Path("quorvane.log"));
  ReportError(2, WSTR("The file could not be found."), WSTR("RegKey::OpenKey"), 0, false);

  const std::string contents = log.Contents();
  EXPECT_TRUE(std::regex_match(contents, std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2} .*\r\n)")))
      << contents;
  EXPECT_EQ(contents.substr(20), "2          RegKey::OpenKey      The file could not be found.\r\n");
}

TEST_F(ErrorLogTest, CodesAreWrittenAsTheLogReadsThem) {
  struct Row {
    LONG number;
    long long logged;
  };
  const Row rows[] = {
      {static_cast<LONG>(0x80040201), 513},     // object errors lose their base
      {static_cast<LONG>(0x80040202), 514},
      {static_cast<LONG>(0x80040203), 515},
      {static_cast<LONG>(0x80070005), 196613},  // so does any other negative number
      {2, 2},
      {300000, 300000},
      {0, 0},
  };
  LogFile log(prefix.Path("codes.log"));
  for (const Row& row : rows) ReportError(row.number, WSTR("d"), WSTR("S"), 0, false);

  const std::vector<std::string> entries = log.Entries();
  ASSERT_EQ(entries.size(), std::size(rows));
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i], Entry(rows[i].logged, "S", "d")) << i;
}

// A document name or a path taken from a job must not be able to write a line of its own.
TEST_F(ErrorLogTest, ControlCharactersAreWrittenAsVisibleEscapes) {
  struct Row {
    const char* name;
    std::u16string description, source;
    std::string logged;
  };
  const std::vector<Row> rows = {
      {"ForgedLine", u"Error writing file: a\r\n2024/01/01 00:00:00 0 Forged x", u"ActionWriteFile::Run",
       Entry(5, "ActionWriteFile::Run", "Error writing file: a\\r\\n2024/01/01 00:00:00 0 Forged x")},
      {"LoneLineFeed", u"a\nb", u"S", Entry(5, "S", "a\\nb")},
      {"OtherControls", std::u16string(u"t\tz\0e\x1b\x7f\u0085", 8), u"S", Entry(5, "S", "t\\x09z\\x00e\\x1b\\x7f\\x85")},
      {"ControlInSource", u"d", u"Src\r\n", Entry(5, "Src\\r\\n", "d")},
      {"OrdinaryTextUnchanged", u"C:\\Out\\r\u00FC.prn \u2713", u"S", Entry(5, "S", "C:\\Out\\r\xC3\xBC.prn \xE2\x9C\x93")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LogFile log(prefix.Path("escapes.log"));
    fs::remove(log.Path());
    ReportError(5, row.description, row.source, 0, false);
    const std::vector<std::string> entries = log.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], row.logged);
  }
}

TEST_F(ErrorLogTest, LongSourceIsNotCutAndTextIsUtf8) {
  LogFile log(prefix.Path("long.log"));
  ReportError(5, WSTR("desc"), WSTR("ActionWriteFile::CreateFilePath"), 0, false);
  ReportError(5, WSTR("Gr\u00FC\u00DFe \u2713"), WSTR("12345678901234567890"), 0, false);
  const std::vector<std::string> entries = log.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], "5          ActionWriteFile::CreateFilePath desc");
  EXPECT_EQ(entries[1], "5          12345678901234567890 Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93");
}

// Without a configured path nothing is written anywhere, and nothing else is attempted.
TEST_F(ErrorLogTest, NothingIsLoggedWithoutATextLogFileValue) {
  auto filesInPrefix = [&] {
    size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(prefix.Dir()))
      if (entry.is_regular_file() && entry.path().filename().string().rfind("registry.db", 0) != 0) ++count;
    return count;
  };
  EXPECT_EQ(ReadText(kConfigurationKey, "LogFile"), "<absent>");  // opens the registry
  const size_t before = filesInPrefix();

  ReportError(1, WSTR("configuration key missing"), WSTR("Test"), 0, false);
  CreateKey(kConfigurationKey);
  ReportError(1, WSTR("value missing"), WSTR("Test"), 0, false);
  SetDword(kConfigurationKey, "LogFile", 7);
  ReportError(1, WSTR("value not text"), WSTR("Test"), 0, false);
  SetText(kConfigurationKey, "LogFile", "");
  ReportError(1, WSTR("value empty"), WSTR("Test"), 0, false);

  EXPECT_EQ(filesInPrefix(), before);
}

TEST_F(ErrorLogTest, MissingFolderInLogPathWritesNothing) {
  LogFile log(prefix.Path("no-such-folder/quorvane.log"));
  ReportError(1, WSTR("lost"), WSTR("Test"), 0, false);
  EXPECT_FALSE(std::filesystem::exists(prefix.Path("no-such-folder")));
}

TEST_F(ErrorLogTest, LogIsAppendedNeverTruncated) {
  WriteFile(prefix.Path("kept.log"), "earlier line\r\n");
  LogFile log(prefix.Path("kept.log"));
  ReportError(1, WSTR("first"), WSTR("A"), 0, false);
  ReportError(2, WSTR("second"), WSTR("B"), 0, false);
  const std::vector<std::string> entries = log.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(log.Contents().substr(0, 14), "earlier line\r\n");
  EXPECT_EQ(entries[1], Entry(1, "A", "first"));
  EXPECT_EQ(entries[2], Entry(2, "B", "second"));
}

TEST_F(ErrorLogTest, MessageTextIsTheSystemTextWithoutItsLineBreak) {
  char system[256];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, system, sizeof system, nullptr);
  ASSERT_GT(length, 2u);
  ASSERT_EQ(std::string(system + length - 2), "\r\n");
  EXPECT_EQ(ToCodePage(MessageText(2)), std::string(system, length - 2));
  EXPECT_EQ(ToCodePage(MessageText(987654)), "Error not found.");
}

// Besides the log, every report reaches the host's sink, after the line and whether or not a
// log file took it; the log line stays as it was.
TEST_F(ErrorLogTest, EveryReportAlsoReachesTheSinkWithOrWithoutALogFile) {
  struct Sink : qv::DiagnosticsSink {
    Sink() { qv::SetDiagnosticsSink(this); }
    ~Sink() override { qv::SetDiagnosticsSink(nullptr); }
    void Deliver(const qv::Failure& failure) noexcept override { delivered.push_back(failure); }
    std::vector<qv::Failure> delivered;
  } sink;
  struct Row {
    const char* what;
    std::string logFile;  // "" : none configured
    bool logged;
  } rows[] = {
      {"with a log file", prefix.Path("quorvane.log"), true},
      {"with a log in a missing folder", prefix.Path("missing/quorvane.log"), false},
      {"without a log file", "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    sink.delivered.clear();
    std::filesystem::remove(prefix.Path("quorvane.log"));
    if (row.logFile.empty()) {
      SetText(kConfigurationKey, "LogFile", "");
    } else {
      LogFile log(row.logFile);
    }
    ReportError(static_cast<LONG>(0x80040205), WSTR("Error writing file: C:\\a.prn"), WSTR("ActionWriteFile::Run"),
                0, false);
    ASSERT_EQ(sink.delivered.size(), 1u);
    EXPECT_EQ(sink.delivered[0].number, static_cast<LONG>(0x80040205)) << "the number as the logger got it";
    EXPECT_EQ(sink.delivered[0].description, "Error writing file: C:\\a.prn");
    EXPECT_EQ(sink.delivered[0].source, "ActionWriteFile::Run");
    if (row.logged) {
      EXPECT_EQ(ReadFile(row.logFile).substr(20),
                "517        ActionWriteFile::Run Error writing file: C:\\a.prn\r\n");
    }
  }
}

// The end every operation shares: an exception is logged under the operation's name and the
// neutral result comes back; a body that ends normally logs nothing and keeps its result.
TEST_F(ErrorLogTest, AFailedOperationIsLoggedAndAnswersItsNeutralResult) {
  struct Row {
    const char* name;
    std::function<LONG()> body;
    LONG result;
    std::vector<std::string> logged;
  };
  const Row rows[] = {
      {"no failure", [] { return 42; }, 42, {}},
      {"a runtime error keeps its number and text",
       []() -> LONG { RaiseError(kErrorSubscriptRange, WSTR("Subscript out of range")); }, 0,
       {Entry(9, "Actions::GetItem", "Subscript out of range")}},
      {"an object error is logged less the object error base",
       []() -> LONG { RaiseError(kErrorWritingFile, WSTR("Error writing file: C:\\a.prn")); }, 0,
       {Entry(517, "Actions::GetItem", "Error writing file: C:\\a.prn")}},
      {"out of memory", []() -> LONG { throw std::bad_alloc(); }, 0, {Entry(7, "Actions::GetItem", "Out of memory")}},
      {"any other exception", []() -> LONG { throw std::runtime_error("broken"); }, 0,
       {Entry(51, "Actions::GetItem", "Internal error: broken")}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LogFile log(prefix.Path("operations.log"));
    fs::remove(log.Path());
    EXPECT_EQ(ReportFailures(WSTR("Actions::GetItem"), row.body), row.result);
    EXPECT_EQ(log.Entries(), row.logged);
  }
}

}  // namespace

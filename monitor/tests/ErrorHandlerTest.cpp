// ErrorHandler on its own: the message box, the layout of a log entry and the log file setting.
#include "ErrorHandler.h"
#include "LogEntries.h"
#include "TestLog.h"

#include <TempPrefix.h>

#include <gtest/gtest.h>
#include <qv/diagnostics.h>

#include <filesystem>
#include <functional>

using Quorvane::ErrorHandler;
using Quorvane::ErrorHandlerClock;

namespace {

// 5 March 2002 at 9:07:33.250.
void WINAPI FixedClock(LPSYSTEMTIME now) { *now = SYSTEMTIME{2002, 3, 2, 5, 9, 7, 33, 250}; }

constexpr char kStamp[] = "5 /3 /2002 9 :7     ";
static_assert(sizeof kStamp - 1 == 20);

constexpr LONG kClassNotRegistered = static_cast<LONG>(0x80040154);
constexpr LONG kNoText = 0x1234567;  // a code the system has no text for

std::string Pad(std::string text, size_t width) {
  text.resize(std::max(text.size(), width), ' ');
  return text;
}

class ErrorHandlerTest : public ::testing::Test {
 protected:
  ErrorHandlerTest() : log_(prefix_.Path("monitor.log")) { ErrorHandlerClock = &FixedClock; }
  ~ErrorHandlerTest() override { ErrorHandlerClock = &GetLocalTime; }

  // Reports and returns what was shown (the message box goes to standard error here).
  static std::string Report(LONG code, const std::u16string& source, bool show) {
    ::testing::internal::CaptureStderr();
    ErrorHandler(code, source.c_str(), show, nullptr);
    return ::testing::internal::GetCapturedStderr();
  }

  qv::testing::TempPrefix prefix_;
  std::string log_;
};

TEST_F(ErrorHandlerTest, EntriesHaveFixedWidthFieldsAndFollowEachOtherInOrder) {
  SetLogFile(log_);
  struct Case {
    LONG code;
    std::u16string source;
    std::string entry;  // after the date and time
  };
  const Case cases[] = {
      {kClassNotRegistered, u"LocalAddPort", "-2147221164LocalAddPort         The class is not registered.\r\n"},
      {3006, u"DLLRegisterServer", "3006       DLLRegisterServer    The print monitor is already installed.\r\n"},
      // 21 characters and more are written whole, the description right after them.
      {2, u"LocalConfigurePortXYZ", "2          LocalConfigurePortXYZThe file could not be found.\r\n"},
      {2, u"A source of 25 characters", "2          A source of 25 charactersThe file could not be found.\r\n"},
      // Without a text the fallback has no line break: the next entry continues the line.
      {kNoText, u"LocalEnumPorts", "19088743   LocalEnumPorts       FormatMessage Failed in ErrorHandler"},
      {-5, u"LocalDeletePort", "-5         LocalDeletePort      FormatMessage Failed in ErrorHandler"},
  };
  std::string expected;
  for (const Case& report : cases) {
    EXPECT_EQ(Report(report.code, report.source, false), "") << "no message box was asked for";
    expected += kStamp + report.entry;
  }
  EXPECT_EQ(ReadFileText(log_), expected);
}

TEST_F(ErrorHandlerTest, TheMessageBoxShowsCodeDescriptionAndSource) {
  SetLogFile(log_);
  // The box tells caption and text on standard error, line breaks as LF.
  EXPECT_EQ(Report(kClassNotRegistered, u"LocalAddPort", true),
            "Error: Error: -2147221164\nDescription: The class is not registered.\n\nSource: LocalAddPort\n\n");
  EXPECT_EQ(Report(kNoText, u"LocalConfigurePort", true),
            "Error: Error: 19088743\nDescription: FormatMessage Failed in ErrorHandler\nSource: LocalConfigurePort\n\n");
  EXPECT_EQ(LogEntries(ReadFileText(log_)).size(), 2u);
}

TEST_F(ErrorHandlerTest, WithoutAUsableLogFileTheBoxIsStillShownAndNothingWritten) {
  const std::string missingFolder = prefix_.Path("no such folder/monitor.log");
  struct Case {
    const char* what;
    std::function<void()> setUp;
  };
  const Case cases[] = {
      {"no configuration key", [] {}},
      {"no LogFile value", [&] {
         SetLogFile(log_);
         HKEY key = nullptr;
         ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Drennic\\Quorvane", 0, KEY_ALL_ACCESS, &key),
                   ERROR_SUCCESS);
         RegDeleteValueW(key, u"LogFile");
         RegCloseKey(key);
       }},
      {"a folder that does not exist", [&] { SetLogFile(missingFolder); }},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    test.setUp();
    EXPECT_NE(Report(kClassNotRegistered, u"LocalAddPort", true).find("Source: LocalAddPort"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(log_));
    EXPECT_FALSE(std::filesystem::exists(missingFolder));
  }
}

TEST_F(ErrorHandlerTest, TheLogFileIsReadAsAnyTypeUpTo259Characters) {
  struct Case {
    DWORD type;
    size_t length;
    bool written;
  };
  const Case cases[] = {
      {REG_SZ, 40, true},     {REG_EXPAND_SZ, 40, true}, {REG_BINARY, 40, true},
      {REG_SZ, 259, true},    {REG_BINARY, 259, true},   {REG_SZ, 260, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE("type " + std::to_string(test.type) + ", " + std::to_string(test.length) + " characters");
    std::string path = prefix_.Dir() + "/";
    ASSERT_LT(path.size() + 8, test.length);
    path += std::string(test.length - path.size() - 4, 'x') + ".log";
    ASSERT_EQ(path.size(), test.length);
    SetLogFile(path, test.type);
    Report(2, u"LocalEnumPorts", false);
    EXPECT_EQ(std::filesystem::exists(path), test.written);
    std::filesystem::remove(path);
  }
}

// Besides the log, every report reaches the host's sink, after the entry and whether or not a
// log file took it; the entry stays as it was.
TEST_F(ErrorHandlerTest, EveryReportAlsoReachesTheSinkWithOrWithoutALogFile) {
  struct Sink : qv::DiagnosticsSink {
    Sink() { qv::SetDiagnosticsSink(this); }
    ~Sink() override { qv::SetDiagnosticsSink(nullptr); }
    void Deliver(const qv::Failure& failure) noexcept override { delivered.push_back(failure); }
    std::vector<qv::Failure> delivered;
  } sink;
  struct Row {
    const char* what;
    bool logFile;
    LONG code;
    const char* description;  // without the system text's line break
  } rows[] = {
      {"with a log file", true, kClassNotRegistered, "The class is not registered."},
      {"without a log file", false, kClassNotRegistered, "The class is not registered."},
      {"without a system text", true, kNoText, "FormatMessage Failed in ErrorHandler"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    sink.delivered.clear();
    std::filesystem::remove(log_);
    SetLogFile(row.logFile ? log_ : prefix_.Path("missing/monitor.log"));
    Report(row.code, u"LocalEndDocPort", false);
    ASSERT_EQ(sink.delivered.size(), 1u);
    EXPECT_EQ(sink.delivered[0].number, row.code);
    EXPECT_EQ(sink.delivered[0].description, row.description);
    EXPECT_EQ(sink.delivered[0].source, "LocalEndDocPort");
    if (row.logFile) {
      EXPECT_EQ(ReadFileText(log_), kStamp + Pad(std::to_string(row.code), 11) + "LocalEndDocPort      " +
                                        row.description + (row.code == kNoText ? "" : "\r\n"));
    }
  }
}

}  // namespace

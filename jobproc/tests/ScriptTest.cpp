// Port scripts: the text form in the registry, loading and saving, the list of actions, and
// running a script for a job.
#include <gtest/gtest.h>
#include <qv/diagnostics.h>
#include <qv/status_text.h>
#include <qv/utf.h>

#include <filesystem>

#include "Actions.h"
#include "Controller.h"
#include "ObjectError.h"
#include "Script.h"
#include "TempPrefix.h"
#include "TestJob.h"
#include "TestRegistry.h"

using namespace MarrowjetUI;
using namespace jobproc_testing;

namespace {

const std::string kPortKey = std::string(kMonitorKey) + "\\QV1";

std::string Utf8(const Text& text) { return qv::ToUtf8(text); }

std::vector<std::string> LoadedLines(const std::string& scriptText) {
  SetText(kPortKey, "Script", scriptText);
  Script script;
  script.LoadFromRegistry(WSTR("QV1"));
  std::vector<std::string> lines;
  for (const ActionRef& action : script.GetActions()->NewEnum()) lines.push_back(Utf8(action->AsString()));
  return lines;
}

class ScriptTest : public ::testing::Test {
 protected:
  ScriptTest() : log(prefix.Path("script.log")) { CreateKey(kMonitorKey); }
  qv::testing::TempPrefix prefix;
  LogFile log;
};

TEST_F(ScriptTest, LoadingTakesLinesUntilOneNamesNoAction) {
  struct Row {
    const char* text;
    std::vector<std::string> actions;
  };
  const Row rows[] = {
      {"", {}},
      {"WriteFile: C:\\a.prn", {"WriteFile: C:\\a.prn"}},
      {"WriteFile: C:\\a.prn\r\n\r\nReprint: P2", {"WriteFile: C:\\a.prn"}},  // stops at the empty line
      {"writefile: C:\\a.prn\r\nWriteFile: C:\\b.prn", {}},                   // case matters
      {"WriteFile: C:\\a.prn\r\nwritefile: C:\\b.prn", {"WriteFile: C:\\a.prn"}},
      {"ReprintXYZ", {"Reprint: YZ"}},                                       // seven letters decide
      {"WriteFile:  C:\\a b.prn  ", {"WriteFile: C:\\a b.prn"}},             // blanks around go
      {"WriteFile", {"WriteFile: "}},
      {"WriteFile: C:\\a.prn\r\n", {"WriteFile: C:\\a.prn"}},                // trailing break: empty line
      {"WriteFile: C:\\a.prn\nReprint: P2", {"WriteFile: C:\\a.prn\nReprint: P2"}},  // LF alone splits nothing
  };
  for (const Row& row : rows) EXPECT_EQ(LoadedLines(row.text), row.actions) << row.text;
  EXPECT_TRUE(log.Entries().empty());
}

// The setting starts at a fixed character: the eleventh of a write-file line, the ninth of a
// reprint line, whether or not a blank follows the colon. Shorter lines give an empty setting.
TEST_F(ScriptTest, SettingsStartAtTheirCharacterPosition) {
  struct Row {
    const char* name;
    const char* line;
    const char* loaded;
  };
  const Row rows[] = {
      {"write-file, no blank", "WriteFile:C:\\a.prn", "WriteFile: C:\\a.prn"},
      {"write-file, 10 characters", "WriteFile:", "WriteFile: "},
      {"write-file, 11 characters", "WriteFile:X", "WriteFile: X"},
      {"write-file, 11 with a blank last", "WriteFile: ", "WriteFile: "},
      {"write-file, 12 characters", "WriteFile: X", "WriteFile: X"},
      {"write-file, letters for the colon", "WriteFileXYC:\\a", "WriteFile: YC:\\a"},
      {"reprint, no blank", "Reprint:Office", "Reprint: Office"},
      {"reprint, 8 characters", "Reprint:", "Reprint: "},
      {"reprint, 9 characters", "Reprint:P", "Reprint: P"},
      {"reprint, 10 characters", "Reprint: P", "Reprint: P"},
      {"reprint, letters for the colon", "ReprintsOffice", "Reprint: Office"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(LoadedLines(row.line), std::vector<std::string>{row.loaded});
  }
  EXPECT_TRUE(log.Entries().empty());
}

TEST_F(ScriptTest, ThreeActionsRoundTrip) {
  const std::string text = "WriteFile: C:\\Jobs\\?UN?\\?DN?.prn\r\nReprint: Archive ?SN?\r\nWriteFile: D:\\copy.prn";
  SetText(kPortKey, "Script", text);
  Script script;
  script.LoadFromRegistry(WSTR("QV1"));
  ASSERT_EQ(script.GetActions()->Count(), 3);
  DeleteValue(kPortKey, "Script");
  script.SaveToRegistry(WSTR("QV1"));
  EXPECT_EQ(ReadText(kPortKey, "Script"), text);
  EXPECT_EQ(LoadedLines(text), (std::vector<std::string>{"WriteFile: C:\\Jobs\\?UN?\\?DN?.prn",
                                                         "Reprint: Archive ?SN?", "WriteFile: D:\\copy.prn"}));
}

TEST_F(ScriptTest, SavingCreatesThePortKeyAndAnEmptyScriptLoadsEmpty) {
  Script script;
  script.SaveToRegistry(WSTR("NEW"));
  EXPECT_EQ(ReadText(std::string(kMonitorKey) + "\\NEW", "Script"), "");
  script.LoadFromRegistry(WSTR("NEW"));
  EXPECT_EQ(script.GetActions()->Count(), 0);
  EXPECT_TRUE(log.Entries().empty());
}

TEST_F(ScriptTest, MissingPortKeyLogsTwiceAndLeavesAnEmptyList) {
  Script script;
  script.GetActions()->Add(NewActionForLine(WSTR("WriteFile: C:\\stale.prn")));
  script.LoadFromRegistry(WSTR("GONE"));
  EXPECT_EQ(script.GetActions()->Count(), 0);
  const std::vector<std::string> expected = {
      Entry(2, "RegKey::OpenKey", SystemText(2) + " [" + kMonitorKey + "\\GONE]"),
      Entry(0, "Script::LoadFromRegistry", "Error opening key GONE"),
  };
  EXPECT_EQ(log.Entries(), expected);
}

TEST_F(ScriptTest, NonTextScriptIsLoggedAndTreatedAsEmpty) {
  SetDword(kPortKey, "Script", 1);
  Script script;
  script.LoadFromRegistry(WSTR("QV1"));
  EXPECT_EQ(script.GetActions()->Count(), 0);
  const std::vector<std::string> expected = {Entry(514, "RegKey::ReadString", "Value not a string [Script]")};
  EXPECT_EQ(log.Entries(), expected);
}

// Actions that only say who they are.
class NamedAction final : public IAction {
 public:
  explicit NamedAction(std::string name) : name_(std::move(name)) {}
  void Run(TextView, _Job*, DATE) noexcept override {}
  Text AsString() noexcept override { return qv::ToUtf16(name_); }
  void LoadFromString(TextView) noexcept override {}
  void ConfigureUI() noexcept override {}

 private:
  std::string name_;
};

std::string Order(const Actions& actions) {
  std::string order;
  for (const ActionRef& action : actions.NewEnum()) order += Utf8(action->AsString());
  return order;
}

TEST_F(ScriptTest, ListOperationsKeepPositionsFromOne) {
  struct Row {
    const char* name;
    void (*change)(Actions&);
    const char* order;
    bool logged;
  };
  const Row rows[] = {
      {"MoveUp(2)", [](Actions& a) { a.MoveUp(2); }, "BAC", false},
      {"MoveUp(3)", [](Actions& a) { a.MoveUp(3); }, "ACB", false},
      {"MoveDown(2)", [](Actions& a) { a.MoveDown(2); }, "ACB", false},
      {"MoveUp(1)", [](Actions& a) { a.MoveUp(1); }, "ABC", true},
      {"MoveUp(4)", [](Actions& a) { a.MoveUp(4); }, "ABC", true},
      {"Remove(2)", [](Actions& a) { a.Remove(2); }, "AC", false},
      {"Remove(0)", [](Actions& a) { a.Remove(0); }, "ABC", true},
      {"Clear", [](Actions& a) { a.Clear(); }, "", false},
  };
  for (const Row& row : rows) {
    Actions actions;
    for (const char* name : {"A", "B", "C"}) actions.Add(std::make_shared<NamedAction>(name));
    const size_t logged = log.Entries().size();
    row.change(actions);
    EXPECT_EQ(Order(actions), row.order) << row.name;
    EXPECT_EQ(log.Entries().size(), logged + (row.logged ? 1 : 0)) << row.name;
  }
  EXPECT_EQ(log.Entries().front(), Entry(9, "Actions::MoveUp", "Subscript out of range"));
}

TEST_F(ScriptTest, MoveDownWithoutLowerNeighbourRaisesForItsCaller) {
  Actions actions;
  for (const char* name : {"A", "B", "C"}) actions.Add(std::make_shared<NamedAction>(name));
  EXPECT_THROW(actions.MoveDown(3), ObjectError);
  EXPECT_EQ(Order(actions), "ABC");
  EXPECT_EQ(actions.Item(4), nullptr);
  EXPECT_EQ(Utf8(actions.Item(1)->AsString()), "A");
  const std::vector<std::string> expected = {Entry(9, "Actions::GetItem", "Subscript out of range")};
  EXPECT_EQ(log.Entries(), expected);
}

// A failing first action is logged by itself; the next action still runs, and the monitor is
// told the job succeeded.
TEST_F(ScriptTest, PrintFileRunsEveryActionWhateverFails) {
  const std::filesystem::path driveC = prefix.Path("drive_c");
  std::filesystem::create_directories(driveC);
  WriteFile((driveC / "blocker").string(), "a file, not a folder");
  const std::string data = prefix.Path("job.spl");
  WriteFile(data, std::string("%!PS\0\xff", 6));
  SetText(kPortKey, "Script", "WriteFile: C:\\blocker\\out.prn\r\nReprint: Nowhere\r\nWriteFile: C:\\second.prn");

  Controller* controller = nullptr;
  ASSERT_EQ(Controller::CreateInstance(IID__Controller, reinterpret_cast<void**>(&controller)), S_OK);
  TestJob job;
  Bstr port(WSTR("qv1"));  // port names ignore case, as key names do
  Bstr file(qv::ToUtf16(data));
  EXPECT_EQ(controller->PrintFile(port.Get(), file.Get(), job.Get()), S_OK);
  controller->Release();

  EXPECT_EQ(ReadFile((driveC / "second.prn").string()), std::string("%!PS\0\xff", 6));
  const std::vector<std::string> expected = {
      Entry(517, "ActionWriteFile::Run", "Error writing file: C:\\blocker\\out.prn")};
  EXPECT_EQ(log.Entries(), expected);
}

// With a host's sink installed, PrintFile does exactly what it did: the same success, the same
// files, the same log lines; the sink sees each failure besides, with the host path the files
// service noted, and the print system tells the refused reprint that the log never holds.
TEST_F(ScriptTest, ASinkSeesTheFailuresAndPrintFileStaysAsItWas) {
  struct Sink : qv::DiagnosticsSink {
    void Deliver(const qv::Failure& failure) noexcept override { delivered.push_back(failure); }
    std::vector<qv::Failure> delivered;
  } sink;
  const std::filesystem::path driveC = prefix.Path("drive_c");
  std::filesystem::create_directories(driveC);
  WriteFile((driveC / "blocker").string(), "a file, not a folder");
  const std::string data = prefix.Path("job.spl");
  WriteFile(data, "data");
  SetText(kPortKey, "Script", "WriteFile: C:\\blocker\\out.prn\r\nReprint: Nowhere\r\nWriteFile: C:\\second.prn");
  std::vector<std::string> lines[2];
  for (int withSink = 0; withSink < 2; ++withSink) {
    SCOPED_TRACE(withSink ? "with a sink" : "without a sink");
    std::filesystem::remove(log.Path());
    std::filesystem::remove(driveC / "second.prn");
    qv::SetDiagnosticsSink(withSink ? &sink : nullptr);
    Controller* controller = nullptr;
    ASSERT_EQ(Controller::CreateInstance(IID__Controller, reinterpret_cast<void**>(&controller)), S_OK);
    TestJob job;
    Bstr port(WSTR("QV1"));
    Bstr file(qv::ToUtf16(data));
    EXPECT_EQ(controller->PrintFile(port.Get(), file.Get(), job.Get()), S_OK);
    controller->Release();
    qv::SetDiagnosticsSink(nullptr);
    EXPECT_EQ(ReadFile((driveC / "second.prn").string()), "data");
    lines[withSink] = log.Entries();
  }
  EXPECT_EQ(lines[1], lines[0]);
  EXPECT_EQ(lines[1], (std::vector<std::string>{Entry(517, "ActionWriteFile::Run", "Error writing file: C:\\blocker\\out.prn")}));
  ASSERT_EQ(sink.delivered.size(), 2u);
  EXPECT_EQ(qv::FailureText(sink.delivered[0]), "Error writing file: C:\\blocker\\out.prn (" + driveC.string() +
                                                   "/blocker/out.prn): " + qv::StatusText(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(sink.delivered[1].number, ERROR_INVALID_PRINTER_NAME);
  EXPECT_EQ(sink.delivered[1].source, "OpenPrinterA");
}

TEST_F(ScriptTest, PrintFileOnADeletedPortSucceedsAfterLogging) {
  Controller* controller = nullptr;
  ASSERT_EQ(Controller::CreateInstance(IID__Controller, reinterpret_cast<void**>(&controller)), S_OK);
  TestJob job;
  Bstr port(WSTR("QV9"));
  Bstr file(WSTR("C:\\nothing.spl"));
  EXPECT_EQ(controller->PrintFile(port.Get(), file.Get(), job.Get()), S_OK);
  controller->Release();
  ASSERT_EQ(log.Entries().size(), 2u);
  EXPECT_EQ(log.Entries()[1], Entry(0, "Script::LoadFromRegistry", "Error opening key QV9"));
}

TEST_F(ScriptTest, DeletePortRemovesTheKeyAndIgnoresUnknownPorts) {
  SetText(kPortKey, "Script", "WriteFile: C:\\a.prn");
  Controller* controller = nullptr;
  ASSERT_EQ(Controller::CreateInstance(IID__Controller, reinterpret_cast<void**>(&controller)), S_OK);
  Bstr port(WSTR("QV1"));
  EXPECT_EQ(controller->DeletePort(port.Get()), S_OK);
  EXPECT_FALSE(KeyExists(kPortKey));
  EXPECT_EQ(controller->DeletePort(port.Get()), S_OK);
  controller->Release();
  EXPECT_TRUE(log.Entries().empty());
}

}  // namespace

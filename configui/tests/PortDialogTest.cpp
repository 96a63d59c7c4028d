// The port dialog and its controller: the checks of OK, what is stored and what is not, and
// the editing of the action list, played by the scripted user.
#include <qv/utf.h>
#include <winuser.h>

#include "DialogFixture.h"
#include "TestRegistry.h"

namespace configui_testing {
namespace {

constexpr const char* kNoName = "You must specify a port name";
constexpr const char* kBackslash = "You can not use the \\ character in a port name";
constexpr const char* kTooLong = "The maximum size of a port name is 250 characters";
constexpr const char* kNoActions = "You must have at least one action defined before adding a port";
constexpr const char* kDuplicate = "Duplicate port name, each port must have a unique name";
constexpr const char* kJob = "WriteFile: C:\\Jobs\\?DN?.prn";

using PortDialogTest = DialogTest;

struct NameRow {
  const char* row;
  std::string name;
  int actions;
  const char* refusal;  // null: stored
};

TEST_F(PortDialogTest, OkChecksTheNameAndTheActionsInOrder) {
  const NameRow rows[] = {
      {"250 characters pass", std::string(250, 'p'), 1, nullptr},
      {"251 characters are too many", std::string(251, 'p'), 1, kTooLong},
      {"backslash first", "\\Port", 1, kBackslash},
      {"backslash inside", "Po\\rt", 1, kBackslash},
      {"backslash last", "Port\\", 1, kBackslash},
      {"forward slash passes", "Po/rt", 1, nullptr},
      {"blanks only are a name", "   ", 1, nullptr},
      {"blanks around are kept", " Port ", 1, nullptr},
      {"empty name", "", 1, kNoName},
      {"empty name and no actions: the first check wins", "", 0, kNoName},
      {"no actions", "Port", 0, kNoActions},
      {"a backslash is found before the length", std::string(260, 'p') + "\\", 1, kBackslash},
      {"existing name", "Existing", 1, kDuplicate},
      {"existing name in other letter case", "EXISTING", 1, kDuplicate},
  };
  for (const NameRow& row : rows) {
    SCOPED_TRACE(row.row);
    StoreScript("Existing", "Reprint: Old");
    std::vector<Step> actions;
    for (int i = 0; i < row.actions; ++i) actions = Join({std::move(actions), AddWriteFile("C:\\Jobs\\?DN?.prn")});
    AddPort(row.name, std::move(actions));
    if (row.refusal) {
      ASSERT_EQ(User().Boxes().size(), 1u);
      const auto& box = User().Boxes()[0];
      EXPECT_EQ(box.text, row.refusal);
      EXPECT_EQ(box.caption, "Error");
      EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
      EXPECT_NE(box.owner, nullptr);  // over the dialog
      EXPECT_EQ(StoredScript("Existing"), "Reprint: Old");
      if (!row.name.empty() && row.name.find('\\') == std::string::npos && row.name != "EXISTING" && row.name != "Existing") {
        EXPECT_FALSE(PortExists(row.name));
      }
    } else {
      EXPECT_TRUE(User().Boxes().empty());
      EXPECT_EQ(User().StepsLeft(), 1u);  // OK closed the dialog; Cancel was never needed
      EXPECT_EQ(StoredScript(row.name), kJob);
    }
  }
}

TEST_F(PortDialogTest, ActionsAreStoredInTheOrderAdded) {
  AddPort("Demo", Join({AddWriteFile("C:\\Jobs\\?DN?.prn"), AddReprint("Office")}));
  EXPECT_EQ(StoredScript("Demo"), std::string(kJob) + "\r\nReprint: Office");
  EXPECT_TRUE(User().Problems().empty());
  ASSERT_EQ(User().Forms().size(), 5u);
  EXPECT_EQ(User().Forms()[0].title, kPortDialog);
  EXPECT_EQ(User().Forms()[0].owner, nullptr);
}

TEST_F(PortDialogTest, ConfiguringShowsTheStoredActionsUnderTheAddTitleAndKeepsTheName) {
  StoreScript("Demo", "WriteFile: C:\\a.prn\r\nReprint: Office");
  std::vector<std::string> rows;
  bool nameEnabled = true;
  std::string name;
  Play({Step::Inspect([&](QvForms::Form& form) {
          rows = Rows(form, "listPortActions");
          nameEnabled = ControlOf(form, "txtPortName").Enabled;
          name = qv::ToUtf8(ControlOf(form, "txtPortName").Text());
        }),
        Step::Type("txtPortName", "Other"), Step::Click("OKButton")});
  ControllerRef controller = NewController();
  VARIANT_BOOL result = VARIANT_TRUE;
  MarrowjetUI::Bstr port(WSTR("Demo"));
  EXPECT_EQ(controller->ConfigurePort(port.Get(), 0, &result), S_OK);
  EXPECT_EQ(result, VARIANT_FALSE);
  EXPECT_EQ(rows, (std::vector<std::string>{"WriteFile: C:\\a.prn", "Reprint: Office"}));
  EXPECT_FALSE(nameEnabled);
  EXPECT_EQ(name, "Demo");
  EXPECT_EQ(User().Forms().at(0).title, kPortDialog);
  // The name box can't be typed into; the play stops and the dialog closes as cancelled.
  ASSERT_EQ(User().Problems().size(), 1u);
  EXPECT_NE(User().Problems()[0].find("disabled"), std::string::npos);
  EXPECT_EQ(StoredScript("Demo"), "WriteFile: C:\\a.prn\r\nReprint: Office");
}

TEST_F(PortDialogTest, ConfiguringSkipsTheDuplicateCheck) {
  StoreScript("Demo", "Reprint: Office");
  Play(Join({AddWriteFile("C:\\b.prn"), {Step::Click("OKButton")}}));
  MarrowjetUI::Bstr port(WSTR("Demo"));
  NewController()->ConfigurePort(port.Get(), 0, nullptr);
  EXPECT_TRUE(User().Boxes().empty());
  EXPECT_EQ(StoredScript("Demo"), "Reprint: Office\r\nWriteFile: C:\\b.prn");
}

TEST_F(PortDialogTest, ConfiguringAPortWithoutAKeyCreatesItOnceAnActionIsAdded) {
  Play(Join({{Step::Click("OKButton")}, AddReprint("Office"), {Step::Click("OKButton")}}));
  MarrowjetUI::Bstr port(WSTR("New"));
  NewController()->ConfigurePort(port.Get(), 0, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kNoActions});
  EXPECT_EQ(StoredScript("New"), "Reprint: Office");
}

TEST_F(PortDialogTest, RemovingEveryActionIsRefusedWithTheAddingWording) {
  StoreScript("Demo", "Reprint: Office");
  Play({Step::Select("listPortActions", 0), Step::Click("btnDeleteAction"), Step::Click("OKButton"),
        Step::Click("CancelButton")});
  MarrowjetUI::Bstr port(WSTR("Demo"));
  NewController()->ConfigurePort(port.Get(), 0, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kNoActions});
  EXPECT_EQ(StoredScript("Demo"), "Reprint: Office");
}

TEST_F(PortDialogTest, CancelAndCloseLeaveTheStoredScriptByteForByte) {
  const std::string stored = "Reprint: A\r\nWriteFile: C:\\x.prn\r\nReprint:   B  ";
  for (const char* last : {"CancelButton", "frame", "Escape"}) {
    SCOPED_TRACE(last);
    StoreScript("Demo", stored);
    Step end = std::string(last) == "frame"    ? Step::Close()
               : std::string(last) == "Escape" ? Step::Key("Escape")
                                                 : Step::Click("CancelButton");
    Play(Join({AddReprint("C"),
               {Step::Select("listPortActions", 0), Step::Click("btnMoveActionDown"), Step::Select("listPortActions", 3),
                Step::Click("btnDeleteAction"), end}}));
    MarrowjetUI::Bstr port(WSTR("Demo"));
    NewController()->ConfigurePort(port.Get(), 0, nullptr);
    EXPECT_EQ(User().StepsLeft(), 0u);
    EXPECT_TRUE(User().Problems().empty());
    EXPECT_EQ(StoredScript("Demo"), stored);
  }
}

struct EditRow {
  const char* row;
  long selected;
  const char* button;
  std::vector<std::string> rows;
  long selectedAfter;
};

TEST_F(PortDialogTest, MoveAndDeleteEditTheListAndKeepTheMovedRowSelected) {
  const EditRow rows[] = {
      {"up from the middle", 1, "btnMoveActionUp", {"Reprint: B", "Reprint: A", "Reprint: C"}, 0},
      {"up from the last", 2, "btnMoveActionUp", {"Reprint: A", "Reprint: C", "Reprint: B"}, 1},
      {"up from the first does nothing", 0, "btnMoveActionUp", {"Reprint: A", "Reprint: B", "Reprint: C"}, 0},
      {"down from the first", 0, "btnMoveActionDown", {"Reprint: B", "Reprint: A", "Reprint: C"}, 1},
      {"down from the last does nothing", 2, "btnMoveActionDown", {"Reprint: A", "Reprint: B", "Reprint: C"}, 2},
      {"up with nothing selected", -1, "btnMoveActionUp", {"Reprint: A", "Reprint: B", "Reprint: C"}, -1},
      {"down with nothing selected", -1, "btnMoveActionDown", {"Reprint: A", "Reprint: B", "Reprint: C"}, -1},
      {"delete the middle", 1, "btnDeleteAction", {"Reprint: A", "Reprint: C"}, -1},
      {"delete the last", 2, "btnDeleteAction", {"Reprint: A", "Reprint: B"}, -1},
      {"delete with nothing selected", -1, "btnDeleteAction", {"Reprint: A", "Reprint: B", "Reprint: C"}, -1},
  };
  for (const EditRow& row : rows) {
    SCOPED_TRACE(row.row);
    StoreScript("Demo", "Reprint: A\r\nReprint: B\r\nReprint: C");
    std::vector<std::string> after;
    long selectedAfter = -2;
    Play({Step::Select("listPortActions", row.selected), Step::Click(row.button),
          Step::Inspect([&](QvForms::Form& form) {
            after = Rows(form, "listPortActions");
            selectedAfter = ControlOf(form, "listPortActions").ListIndex();
          }),
          Step::Click("OKButton")});
    MarrowjetUI::Bstr port(WSTR("Demo"));
    NewController()->ConfigurePort(port.Get(), 0, nullptr);
    EXPECT_EQ(after, row.rows);
    EXPECT_EQ(selectedAfter, row.selectedAfter);
    std::string joined;
    for (const auto& line : row.rows) joined += (joined.empty() ? "" : "\r\n") + line;
    EXPECT_EQ(StoredScript("Demo"), joined);
  }
}

TEST_F(PortDialogTest, OneRowCanNeitherMoveUpNorDown) {
  StoreScript("Demo", "Reprint: A");
  long selected = -2;
  Play({Step::Select("listPortActions", 0), Step::Click("btnMoveActionUp"), Step::Click("btnMoveActionDown"),
        Step::Inspect([&](QvForms::Form& form) { selected = ControlOf(form, "listPortActions").ListIndex(); }),
        Step::Click("OKButton")});
  MarrowjetUI::Bstr port(WSTR("Demo"));
  NewController()->ConfigurePort(port.Get(), 0, nullptr);
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(StoredScript("Demo"), "Reprint: A");
}

struct AddRow {
  const char* row;
  std::vector<Step> steps;
  std::vector<std::string> rows;
};

TEST_F(PortDialogTest, AddingAsksForTheKindThenLetsTheActionConfigureItself) {
  const AddRow rows[] = {
      {"kind selection cancelled: nothing added",
       {Step::Click("btnAddAction"), Step::Click("CancelButton", kActionDialog)},
       {}},
      {"kind selection closed: nothing added", {Step::Click("btnAddAction"), Step::Close(kActionDialog)}, {}},
      {"file path cancelled: still added, with no template",
       {Step::Click("btnAddAction"), Step::SelectItem("cmbActions", "Write File"), Step::Click("OKButton"),
        Step::Type("txtPath", "C:\\typed"), Step::Click("btn_Cancel", kFilePathDialog)},
       {"WriteFile: "}},
      {"printer cancelled: still added, with no printer",
       {Step::Click("btnAddAction"), Step::Click("OKButton"), Step::Type("cmbPrinter", "Typed"),
        Step::Click("CancelButton", kPrinterDialog)},
       {"Reprint: "}},
      {"Enter at once picks Printer",
       {Step::Click("btnAddAction"), Step::Key("Enter", kActionDialog), Step::Type("cmbPrinter", "P"),
        Step::Click("OKButton", kPrinterDialog)},
       {"Reprint: P"}},
  };
  for (const AddRow& row : rows) {
    SCOPED_TRACE(row.row);
    std::vector<std::string> after;
    std::string focus;
    Play(Join({row.steps, {Step::Inspect([&](QvForms::Form& form) {
                             after = Rows(form, "listPortActions");
                             focus = qv::ToUtf8(form.Focus()->Name());
                           }),
                           Step::Click("CancelButton")}}));
    NewController()->AddPort(0, nullptr);
    EXPECT_TRUE(User().Problems().empty()) << User().Problems().front();
    EXPECT_EQ(after, row.rows);
    EXPECT_EQ(focus, "OKButton");
  }
}

TEST_F(PortDialogTest, TheKindDialogOpensWithPrinterSelectedEveryTime) {
  std::vector<std::string> selected;
  auto look = [&](QvForms::Form& form) {
    QvForms::Control& kinds = ControlOf(form, "cmbActions");
    selected.push_back(qv::ToUtf8(kinds.Items().at(static_cast<size_t>(kinds.ListIndex()))));
  };
  Play({Step::Click("btnAddAction"), Step::Inspect(look), Step::SelectItem("cmbActions", "Write File"),
        Step::Click("OKButton"), Step::Click("btn_Cancel"), Step::Click("btnAddAction"), Step::Inspect(look),
        Step::Click("CancelButton"), Step::Click("CancelButton")});
  NewController()->AddPort(0, nullptr);
  EXPECT_EQ(selected, (std::vector<std::string>{"Printer", "Printer"}));
  EXPECT_EQ(User().StepsLeft(), 0u);
}

TEST_F(PortDialogTest, TheDialogIsOwnedByTheWindowPassedIn) {
  QvForms::Form owner(WSTR("Owner"), 100, 100);
  Play({Step::Click("CancelButton")});
  NewController()->AddPort(static_cast<LONG>(reinterpret_cast<uintptr_t>(owner.Handle())), nullptr);
  ASSERT_EQ(User().Forms().size(), 1u);
  EXPECT_EQ(User().Forms()[0].owner, owner.Handle());
}

TEST_F(PortDialogTest, ButtonsWithoutAnOpenDialogAreLoggedAndChangeNothing) {
  jobproc_testing::LogFile log(prefix_.Path("qv.log"));
  ControllerRef controller = NewController();
  EXPECT_EQ(controller->OnOk(), S_OK);
  EXPECT_EQ(controller->OnMoveUp(), S_OK);
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_NE(entries[0].find("Controller::OnOk"), std::string::npos);
  EXPECT_NE(entries[1].find("Controller::OnMoveUp"), std::string::npos);
}

TEST_F(PortDialogTest, ADialogThatCantBeShownIsLoggedAndStoresNothing) {
  jobproc_testing::LogFile log(prefix_.Path("qv.log"));
  auto previous = qv::ui::UseToolkit(qv::ui::NewNoToolkit());
  testing::internal::CaptureStderr();
  NewController()->AddPort(0, nullptr);
  const std::string said = testing::internal::GetCapturedStderr();
  qv::ui::UseToolkit(previous);
  EXPECT_NE(said.find("\"Add New Port\" can't be shown"), std::string::npos);
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].find("Controller::AddPort"), std::string::npos);
}

}  // namespace
}  // namespace configui_testing

// The file path template dialog: the answer of Show, and field codes inserted from the menu.
#include <MarrowjetInterfaces.h>
#include <qv/utf.h>

#include "ControllerFilePath.h"
#include "DialogFixture.h"

namespace configui_testing {
namespace {

using FilePathTest = DialogTest;

struct EditRow {
  const char* row;
  std::string given;
  std::vector<Step> steps;
  std::string answer;
  long caret;  // where the caret stood before the dialog closed (-1: not looked at)
};

std::string Show(const std::string& given) {
  void* object = nullptr;
  EXPECT_EQ(MarrowjetUI::ControllerFilePath::CreateInstance(IID__ControllerFilePath, &object), S_OK);
  auto* controller = static_cast<_ControllerFilePath*>(object);
  MarrowjetUI::Bstr path(qv::ToUtf16(given));
  BSTR argument = path.Get();
  MarrowjetUI::Bstr answer;
  EXPECT_EQ(controller->Show(&argument, answer.Out()), S_OK);
  EXPECT_EQ(qv::ToUtf8(MarrowjetUI::FromBstr(argument)), given);  // passed by reference, not changed
  controller->Release();
  return qv::ToUtf8(answer.ToText());
}

TEST_F(FilePathTest, ShowAnswersTheEditedTemplateOrTheOneGiven) {
  const EditRow rows[] = {
      {"empty and cancelled", "", {Step::Click("btn_Cancel")}, "", -1},
      {"cancelled after typing", "C:\\a", {Step::Type("txtPath", "C:\\b"), Step::Click("btn_Cancel")}, "C:\\a", -1},
      {"closed after typing", "C:\\a", {Step::Type("txtPath", "C:\\b"), Step::Close()}, "C:\\a", -1},
      {"Escape", "C:\\a", {Step::Key("Escape")}, "C:\\a", -1},
      {"cleared and OK", "C:\\a", {Step::Type("txtPath", ""), Step::Click("btn_OK")}, "", -1},
      {"typed by hand, exactly", "", {Step::Type("txtPath", " c:\\Jobs\\?dn?-?DN? "), Step::Key("Enter")},
       " c:\\Jobs\\?dn?-?DN? ", -1},
      {"a code appended at the caret", "C:\\Jobs\\",
       {Step::Click("btn_InsertField"), Step::Menu("Document Name (?DN?)")}, "C:\\Jobs\\?DN?", 12},
      {"a selection replaced", "C:\\2024\\x.prn",
       {Step::SelectText("txtPath", 3, 4), Step::Click("btn_InsertField"), Step::Menu("Date - Year (?YE?)")},
       "C:\\?YE?\\x.prn", 7},
      {"inserted at a caret inside", "C:\\.prn",
       {Step::SelectText("txtPath", 3, 0), Step::Click("btn_InsertField"), Step::Menu("SN")}, "C:\\?SN?.prn", 7},
      {"the same code twice", "",
       {Step::Click("btn_InsertField"), Step::Menu("?ID?"), Step::Click("btn_InsertField"), Step::Menu("?ID?")},
       "?ID??ID?", 8},
      {"a dismissed menu inserts nothing", "C:\\a", {Step::Click("btn_InsertField")}, "C:\\a", 4},
  };
  for (const EditRow& row : rows) {
    SCOPED_TRACE(row.row);
    long caret = -2;
    std::string focus;
    std::vector<Step> steps = row.steps;
    if (row.caret >= 0) {
      steps.push_back(Step::Inspect([&](QvForms::Form& form) {
        caret = ControlOf(form, "txtPath").SelStart();
        focus = qv::ToUtf8(form.Focus()->Name());
      }));
      steps.push_back(Step::Click("btn_OK"));
    }
    Play(steps);
    EXPECT_EQ(Show(row.given), row.answer);
    EXPECT_EQ(User().StepsLeft(), 0u);
    EXPECT_TRUE(User().Problems().empty());
    if (row.caret >= 0) {
      EXPECT_EQ(caret, row.caret);
    }
    if (row.caret >= 0 && row.steps.size() > 1) {
      EXPECT_EQ(focus, "txtPath");
    }
  }
}

TEST_F(FilePathTest, TheMenuOpensAtTheInsertButtonsCornerWithTheNineteenCodes) {
  std::vector<std::string> captions;
  int left = 0;
  int top = 0;
  Play({Step::Inspect([&](QvForms::Form& form) {
          left = ControlOf(form, "btn_InsertField").Position().left;
          top = ControlOf(form, "btn_InsertField").Position().top;
        }),
        Step::Click("btn_InsertField"), Step::Menu("WD"), Step::Click("btn_OK")});
  EXPECT_EQ(Show(""), "?WD?");
  EXPECT_EQ(User().MenuLeft(), left);
  EXPECT_EQ(User().MenuTop(), top);
}

TEST_F(FilePathTest, TheWriteFileActionKeepsItsTemplateWhenTheAnswerIsEmpty) {
  const struct {
    const char* row;
    std::vector<Step> steps;
    const char* stored;
  } rows[] = {
      {"typed", {Step::Type("txtPath", "C:\\new.prn"), Step::Click("btn_OK")}, "WriteFile: C:\\new.prn"},
      {"cleared", {Step::Type("txtPath", ""), Step::Click("btn_OK")}, "WriteFile: C:\\old.prn"},
      {"cancelled", {Step::Type("txtPath", "C:\\new.prn"), Step::Click("btn_Cancel")}, "WriteFile: C:\\old.prn"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.row);
    StoreScript("Demo", "WriteFile: C:\\old.prn");
    Play(Join({{Step::Select("listPortActions", 0), Step::Click("btnDeleteAction")},
               AddWriteFile("C:\\old.prn"),
               {Step::Click("OKButton")}}));
    MarrowjetUI::Bstr port(WSTR("Demo"));
    NewController()->ConfigurePort(port.Get(), 0, nullptr);
    // The new action now holds C:\old.prn; configure it again through its own dialog.
    EXPECT_EQ(StoredScript("Demo"), "WriteFile: C:\\old.prn");
    Play(row.steps);
    MarrowjetUI::Script script;
    script.LoadFromRegistry(WSTR("Demo"));
    script.GetActions()->Item(1)->ConfigureUI();
    EXPECT_EQ(qv::ToUtf8(script.AsString()), row.stored);
  }
}

}  // namespace
}  // namespace configui_testing

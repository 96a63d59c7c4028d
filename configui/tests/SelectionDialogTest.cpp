// The printer selection: the print system's printers, the preselection, the refusal of
// network names, and the list read once per port dialog.
#include <qv/print_system.h>
#include <qv/utf.h>
#include <winuser.h>

#include "ControllerPrinterSelect.h"
#include "DialogFixture.h"
#include "ThreadDialogs.h"

namespace configui_testing {
namespace {

constexpr const char* kLocalSystem =
    "The LocalSystem account does not have permission to access network printers, use a local printer instead";

class PrinterSelectTest : public DialogTest {
 protected:
  void AddPrinters(std::initializer_list<const char*> names) {
    for (const char* name : names) ASSERT_EQ(qv::AddPrinter(name, "FILE:", "Generic"), 0u) << name;
  }
  std::string Select(const std::string& defaultPrinter) {
    MarrowjetUI::ControllerPrinterSelect select;
    return qv::ToUtf8(select.SelectPrinterName(qv::ToUtf16(defaultPrinter)));
  }
};

struct PickRow {
  const char* row;
  std::string defaultPrinter;
  std::vector<Step> steps;
  std::string answer;
  std::vector<std::string> boxes;
};

TEST_F(PrinterSelectTest, AnswersWithTheChosenOrTypedNameAndRefusesNetworkNames) {
  AddPrinters({"Office", "Lab"});
  const PickRow rows[] = {
      {"OK keeps the preselected printer", "lab", {Step::Click("OKButton")}, "Lab", {}},
      {"Enter is OK", "Office", {Step::Key("Enter")}, "Office", {}},
      {"a picked printer", "", {Step::SelectItem("cmbPrinter", "Office"), Step::Click("OKButton")}, "Office", {}},
      {"any typed name", "", {Step::Type("cmbPrinter", "Nowhere"), Step::Click("OKButton")}, "Nowhere", {}},
      {"an empty name", "Lab", {Step::Type("cmbPrinter", ""), Step::Click("OKButton")}, "", {}},
      {"Cancel answers the default", "Lab", {Step::SelectItem("cmbPrinter", "Office"), Step::Click("CancelButton")}, "Lab", {}},
      {"closing answers the default", "lab", {Step::Type("cmbPrinter", "X"), Step::Close()}, "lab", {}},
      {"Escape answers the default", "x", {Step::Key("Escape")}, "x", {}},
      {"a network name is refused and the dialog stays",
       "Lab",
       {Step::Type("cmbPrinter", "\\\\server\\x"), Step::Click("OKButton"), Step::Click("CancelButton")},
       "Lab",
       {kLocalSystem}},
      {"a network name then a local one",
       "",
       {Step::Type("cmbPrinter", "\\\\server\\x"), Step::Click("OKButton"), Step::Type("cmbPrinter", "Lab"),
        Step::Click("OKButton")},
       "Lab",
       {kLocalSystem}},
      {"one backslash is accepted", "", {Step::Type("cmbPrinter", "\\x"), Step::Click("OKButton")}, "\\x", {}},
      {"two backslashes further in are accepted", "", {Step::Type("cmbPrinter", "a\\\\b"), Step::Click("OKButton")}, "a\\\\b", {}},
  };
  for (const PickRow& row : rows) {
    SCOPED_TRACE(row.row);
    Play(row.steps);
    EXPECT_EQ(Select(row.defaultPrinter), row.answer);
    EXPECT_EQ(BoxTexts(), row.boxes);
    EXPECT_EQ(User().StepsLeft(), 0u);
    for (const auto& box : User().Boxes()) {
      EXPECT_EQ(box.caption, "Error");
      EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    }
  }
}

struct PreselectRow {
  const char* row;
  std::string defaultPrinter;
  long selected;
};

TEST_F(PrinterSelectTest, PreselectsTheDefaultInAnyLetterCaseElseTheFirst) {
  AddPrinters({"Alpha", "Beta", "Gamma"});
  const PreselectRow rows[] = {
      {"exact", "Beta", 1},
      {"other letter case", "gAMMA", 2},
      {"unknown", "Delta", 0},
      {"empty matches nothing", "", 0},
  };
  for (const PreselectRow& row : rows) {
    SCOPED_TRACE(row.row);
    long selected = -2;
    std::vector<std::string> listed;
    Play({Step::Inspect([&](QvForms::Form& form) {
            selected = ControlOf(form, "cmbPrinter").ListIndex();
            listed = Rows(form, "cmbPrinter");
          }),
          Step::Click("CancelButton")});
    Select(row.defaultPrinter);
    EXPECT_EQ(selected, row.selected);
    EXPECT_EQ(listed, (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
  }
}

TEST_F(PrinterSelectTest, WithoutPrintersTheBoxIsEmptyAndOkAnswersEmptyText) {
  std::vector<std::string> listed{"x"};
  Play({Step::Inspect([&](QvForms::Form& form) { listed = Rows(form, "cmbPrinter"); }), Step::Click("OKButton")});
  EXPECT_EQ(Select(""), "");
  EXPECT_TRUE(listed.empty());
}

TEST_F(PrinterSelectTest, TheListIsReadOncePerPortDialog) {
  AddPrinters({"First"});
  std::vector<std::string> listed;
  auto look = [&](QvForms::Form& form) { listed = Rows(form, "cmbPrinter"); };
  Play({Step::Click("CancelButton"), Step::Inspect(look), Step::Click("CancelButton"), Step::Inspect(look),
        Step::Click("CancelButton")});
  Select("");
  AddPrinters({"Second"});
  Select("");
  EXPECT_EQ(listed, std::vector<std::string>{"First"});
  MarrowjetUI::ThreadDialogs::Release();  // the port dialog closed; the next one reads again
  Select("");
  EXPECT_EQ(listed, (std::vector<std::string>{"First", "Second"}));
}

}  // namespace
}  // namespace configui_testing

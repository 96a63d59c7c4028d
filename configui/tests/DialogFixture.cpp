#include "DialogFixture.h"

#include <qv/utf.h>

#include "TestRegistry.h"
#include "ThreadDialogs.h"

namespace configui_testing {

using jobproc_testing::kMonitorKey;

std::vector<Step> AddWriteFile(const std::string& pathTemplate) {
  return {Step::Click("btnAddAction", kPortDialog), Step::SelectItem("cmbActions", "Write File", kActionDialog),
          Step::Click("OKButton", kActionDialog), Step::Type("txtPath", pathTemplate, kFilePathDialog),
          Step::Click("btn_OK", kFilePathDialog)};
}

std::vector<Step> AddReprint(const std::string& printer) {
  return {Step::Click("btnAddAction", kPortDialog), Step::SelectItem("cmbActions", "Printer", kActionDialog),
          Step::Click("OKButton", kActionDialog), Step::Type("cmbPrinter", printer, kPrinterDialog),
          Step::Click("OKButton", kPrinterDialog)};
}

std::vector<Step> Join(std::vector<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (auto& part : parts)
    for (auto& step : part) all.push_back(std::move(step));
  return all;
}

// The monitor's key exists once the monitor is installed; ports are made below it.
DialogTest::DialogTest() {
  jobproc_testing::CreateKey(kMonitorKey);
  Play({});
}

DialogTest::~DialogTest() {
  MarrowjetUI::ThreadDialogs::Release();
  qv::ui::UseToolkit(previous_);
}

qv::ui::ScriptedUser& DialogTest::Play(std::vector<Step> steps) {
  user_ = std::make_shared<qv::ui::ScriptedUser>(std::move(steps));
  auto replaced = qv::ui::UseToolkit(user_);
  if (!previous_) previous_ = replaced;
  return *user_;
}

ControllerRef DialogTest::NewController() {
  void* object = nullptr;
  EXPECT_EQ(MarrowjetUI::Controller::CreateInstance(IID__Controller, &object), S_OK);
  return ControllerRef(static_cast<MarrowjetUI::Controller*>(static_cast<_Controller*>(object)));
}

std::string DialogTest::StoredScript(const std::string& port) {
  return jobproc_testing::ReadText(std::string(kMonitorKey) + "\\" + port, "Script");
}

void DialogTest::StoreScript(const std::string& port, const std::string& script) {
  jobproc_testing::SetText(std::string(kMonitorKey) + "\\" + port, "Script", script);
}

bool DialogTest::PortExists(const std::string& port) {
  return jobproc_testing::KeyExists(std::string(kMonitorKey) + "\\" + port);
}

std::vector<std::string> DialogTest::BoxTexts() {
  std::vector<std::string> texts;
  for (const auto& box : user_->Boxes()) texts.push_back(box.text);
  return texts;
}

void DialogTest::AddPort(const std::string& name, std::vector<Step> actions) {
  Play(Join({{Step::Type("txtPortName", name, kPortDialog)},
             std::move(actions),
             {Step::Click("OKButton", kPortDialog), Step::Click("CancelButton", kPortDialog)}}));
  ControllerRef controller = NewController();
  VARIANT_BOOL result = VARIANT_TRUE;
  EXPECT_EQ(controller->AddPort(0, &result), S_OK);
  EXPECT_EQ(result, VARIANT_FALSE);
}

QvForms::Control& ControlOf(QvForms::Form& form, const std::string& name) {
  QvForms::Control* control = form.Find(qv::ToUtf16(name));
  if (!control) throw std::runtime_error("no control " + name);
  return *control;
}

std::vector<std::string> Rows(QvForms::Form& form, const std::string& control) {
  std::vector<std::string> rows;
  for (const auto& row : ControlOf(form, control).Items()) rows.push_back(qv::ToUtf8(row));
  return rows;
}

}  // namespace configui_testing

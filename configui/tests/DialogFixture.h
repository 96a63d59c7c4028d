// A fresh prefix and a scripted user for each test, the steps that add actions the way a
// person does, and a Controller made the way the monitor's calls use it.
#pragma once
#include <gtest/gtest.h>
#include <qv/scripted_user.h>

#include <memory>
#include <string>
#include <vector>

#include "Controller.h"
#include "TempPrefix.h"

namespace configui_testing {

using qv::ui::Step;

inline constexpr const char* kPortDialog = "Add New Port";
inline constexpr const char* kActionDialog = "Action Selection";
inline constexpr const char* kPrinterDialog = "Printer Selection";
inline constexpr const char* kFilePathDialog = "File Path";

// Add, pick "Write File", type the template, OK.
std::vector<Step> AddWriteFile(const std::string& pathTemplate);
// Add, pick "Printer", type the printer's name, OK.
std::vector<Step> AddReprint(const std::string& printer);
std::vector<Step> Join(std::vector<std::vector<Step>> parts);

struct ControllerRelease {
  void operator()(MarrowjetUI::Controller* controller) const { controller->Release(); }
};
using ControllerRef = std::unique_ptr<MarrowjetUI::Controller, ControllerRelease>;

class DialogTest : public ::testing::Test {
 protected:
  DialogTest();
  ~DialogTest() override;

  // Makes a new scripted user with `steps` the process's toolkit.
  qv::ui::ScriptedUser& Play(std::vector<Step> steps);
  qv::ui::ScriptedUser& User() { return *user_; }
  ControllerRef NewController();

  // The stored script of a port, "<absent>" without one.
  std::string StoredScript(const std::string& port);
  void StoreScript(const std::string& port, const std::string& script);
  bool PortExists(const std::string& port);
  // The texts of the recorded message boxes.
  std::vector<std::string> BoxTexts();

  // Adds a port through the dialog: types the name, plays `actions`, presses OK, and then
  // Cancel should OK have been refused.
  void AddPort(const std::string& name, std::vector<Step> actions);

  qv::testing::TempPrefix prefix_;

 private:
  std::shared_ptr<qv::ui::ScriptedUser> user_;
  std::shared_ptr<qv::ui::Toolkit> previous_;
};

// The rows of a list box, as UTF-8.
std::vector<std::string> Rows(QvForms::Form& form, const std::string& control);
QvForms::Control& ControlOf(QvForms::Form& form, const std::string& name);

}  // namespace configui_testing

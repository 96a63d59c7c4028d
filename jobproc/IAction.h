// What every kind of action in a port's script offers. Actions are shared: the list and whoever
// fetched an action hold the same object. No operation lets a failure out; each logs its own.
#pragma once
#include <MarrowjetInterfaces.h>

#include <memory>

#include "Text.h"

namespace MarrowjetUI {

class IAction {
 public:
  // Carries out the action for one job whose data lies in the file TempFilePath.
  virtual void Run(TextView TempFilePath, _Job* JobInfo, DATE DateNow) noexcept = 0;
  // The action's line of the script text.
  virtual Text AsString() noexcept = 0;
  // Takes the action's settings from its line of the script text.
  virtual void LoadFromString(TextView Cmd) noexcept = 0;
  // Lets the user edit the action's settings.
  virtual void ConfigureUI() noexcept = 0;
  virtual ~IAction() = default;
};

using ActionRef = std::shared_ptr<IAction>;

}  // namespace MarrowjetUI

// A port's script: its list of actions, loaded from and stored to the port's registry key as
// text, one line per action joined by CR LF, and run action by action for each job.
#pragma once
#include "Actions.h"

namespace MarrowjetUI {

class Script {
 public:
  // The held list; an empty one is created first when none is held.
  std::shared_ptr<Actions> GetActions();
  void SetActions(std::shared_ptr<Actions> vData) noexcept { actions_ = std::move(vData); }

  // Replaces the held list by the port's stored actions.
  void LoadFromRegistry(TextView PortName) noexcept;
  // Stores the held list as the port's script, creating the port's key when needed.
  void SaveToRegistry(TextView PortName) noexcept;
  Text AsString() noexcept;
  // Runs every action once, in order, each with its own reading of the clock.
  void Run(TextView TempFilePath, _Job* JobInfo) noexcept;

 private:
  std::shared_ptr<Actions> actions_;
};

// A new action for one line of script text: by its first letters ("Reprint", then
// "WriteFile"), or null for a line that is neither.
ActionRef NewActionForLine(TextView line);

}  // namespace MarrowjetUI

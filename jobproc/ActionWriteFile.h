// The action that saves a job's data as a file: its path template, expanded with the job's
// field codes, names the file; missing folders are created on the way.
#pragma once
#include "IAction.h"

namespace MarrowjetUI {

class ActionWriteFile final : public IAction {
 public:
  void Run(TextView TempFilePath, _Job* JobInfo, DATE DateNow) noexcept override;
  Text AsString() noexcept override;
  void LoadFromString(TextView Cmd) noexcept override;
  void ConfigureUI() noexcept override;

  // Checks that `path` starts with a drive ("C:\") and creates each missing folder of it, one
  // element after the other. Failures are logged and end the folder creation.
  static void CreateFilePath(TextView path) noexcept;

 private:
  Text pathTemplate_;
};

}  // namespace MarrowjetUI

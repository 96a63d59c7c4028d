// The action that prints a job's data again, raw, on another printer. Its stored form is
// "Reprint: " and the target printer's name (which may hold field codes).
#pragma once
#include "IAction.h"

namespace MarrowjetUI {

class ActionReprint final : public IAction {
 public:
  void Run(TextView TempFilePath, _Job* JobInfo, DATE DateNow) noexcept override;
  Text AsString() noexcept override;
  void LoadFromString(TextView Cmd) noexcept override;
  void ConfigureUI() noexcept override;

 private:
  Text printerName_;
};

}  // namespace MarrowjetUI

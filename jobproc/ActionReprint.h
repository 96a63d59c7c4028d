// The action that prints a job's data again, raw, on another printer. Its stored form is
// "Reprint: " and the target printer's name (which may hold field codes).
#pragma once
#include "IAction.h"

namespace MarrowjetUI {

class ActionReprint final : public IAction {
 public:
  // Sends the job's data file unchanged to the target printer under the job's document name.
  // A refusal of the spooler is not logged, with one exception: the print system refuses a
  // job that has been printed again too often in a row (ERROR_PRINTQ_FULL), so that a script
  // printing back to its own printer ends; that refusal is logged.
  void Run(TextView TempFilePath, _Job* JobInfo, DATE DateNow) noexcept override;
  Text AsString() noexcept override;
  void LoadFromString(TextView Cmd) noexcept override;
  void ConfigureUI() noexcept override;

 private:
  Text printerName_;
};

}  // namespace MarrowjetUI

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
  // element after the other. Failures are logged and end the folder creation. The first
  // `literalLength` characters are the template's own folder; folders after it are made
  // without following links.
  static void CreateFilePath(TextView path, size_t literalLength) noexcept;

  // The length of the folder the template names in its literal text ("C:\Out\" of
  // "C:\Out\?UN?\?DN?.prn"), separator included, when `destination` starts with it; 0 when
  // the template names none (it starts with a field code or has no folder).
  static size_t LiteralFolderLength(TextView pathTemplate, TextView destination) noexcept;

 private:
  Text pathTemplate_;
};

}  // namespace MarrowjetUI

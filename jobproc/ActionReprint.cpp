#include "ActionReprint.h"

#include "modError.h"

namespace MarrowjetUI {
namespace {

constexpr TextView kPrefix = WSTR("Reprint: ");

}  // namespace

void ActionReprint::Run(TextView, _Job*, DATE) noexcept {
  // Raw printing to the target printer arrives with the reprint action proper; until then a
  // reprint line is kept in the script and does nothing for the job.
}

Text ActionReprint::AsString() noexcept {
  try {
    return Text(kPrefix) + printerName_;
  } catch (...) {
    ReportCaughtError(WSTR("ActionReprint::AsString"));
    return {};
  }
}

void ActionReprint::LoadFromString(TextView Cmd) noexcept {
  try {
    // The printer's name follows the prefix; the prefix's blank and any others around it go.
    printerName_ = Cmd.size() < kPrefix.size() ? Text() : TrimBlanks(Cmd.substr(kPrefix.size() - 1));
  } catch (...) {
    ReportCaughtError(WSTR("ActionReprint::LoadFromString"));
  }
}

void ActionReprint::ConfigureUI() noexcept {
  // The printer selection arrives with the port configuration; until then the name stays.
}

}  // namespace MarrowjetUI

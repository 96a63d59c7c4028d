#include "Script.h"

#include "ActionReprint.h"
#include "ActionWriteFile.h"
#include "JobCalls.h"
#include "MonitorKey.h"
#include "ObjectError.h"
#include "RegKey.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

constexpr TextView kLineBreak = WSTR("\r\n");

// The lines of a script text; an empty text has none.
std::vector<Text> ScriptLines(TextView text) {
  std::vector<Text> lines;
  if (text.empty()) return lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(kLineBreak, start);
    if (end == TextView::npos) {
      lines.emplace_back(text.substr(start));
      return lines;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + kLineBreak.size();
  }
}

}  // namespace

ActionRef NewActionForLine(TextView line) {
  // Seven characters only, so stored lines such as "Reprinter: X" still load as reprint actions.
  if (line.substr(0, 7) == WSTR("Reprint")) return std::make_shared<ActionReprint>();
  if (line.substr(0, 9) == WSTR("WriteFile")) return std::make_shared<ActionWriteFile>();
  return nullptr;
}

std::shared_ptr<Actions> Script::GetActions() {
  if (!actions_) actions_ = std::make_shared<Actions>();
  return actions_;
}

void Script::LoadFromRegistry(TextView PortName) noexcept {
  ReportFailures(WSTR("Script::LoadFromRegistry"), [&] {
    actions_ = std::make_shared<Actions>();
    RegKey port;
    port.OpenKey(HKEY_LOCAL_MACHINE, Text(kMonitorKey) + WSTR("\\") + Text(PortName));
    if (!port.hKey()) {
      ReportError(0, WSTR("Error opening key ") + Text(PortName), WSTR("Script::LoadFromRegistry"), 0, false);
      return;
    }
    const Text text = port.ReadString(kScriptValue);
    actions_->Clear();
    // Loading stops at the first line that names no kind of action; what came before stays.
    for (const Text& line : ScriptLines(text)) {
      ActionRef action = NewActionForLine(line);
      if (!action) break;
      action->LoadFromString(line);
      actions_->Add(std::move(action));
    }
  });
}

void Script::SaveToRegistry(TextView PortName) noexcept {
  ReportFailures(WSTR("Script::SaveToRegistry"), [&] {
    RegKey monitor;
    monitor.OpenKey(HKEY_LOCAL_MACHINE, kMonitorKey);
    std::unique_ptr<RegKey> port = monitor.CreateKey(PortName);
    if (!port) RaiseError(kErrorObjectNotSet, WSTR("Object variable or With block variable not set"));
    // A script that was not stored must not pass for a stored one.
    const LONG status = port->WriteString(kScriptValue, AsString());
    if (status != ERROR_SUCCESS) RaiseSystemError(status);
  });
}

Text Script::AsString() noexcept {
  return ReportFailures(WSTR("Script::AsString"), [&] {
    Text text;
    for (const ActionRef& action : GetActions()->NewEnum()) {
      // A break only once the text has begun: an empty first action adds none, as stored scripts have it.
      if (!text.empty()) text += kLineBreak;
      text += action->AsString();
    }
    return text;
  });
}

void Script::Run(TextView TempFilePath, _Job* JobInfo) noexcept {
  ReportFailures(WSTR("Script::Run"), [&] {
    for (const ActionRef& action : GetActions()->NewEnum()) action->Run(TempFilePath, JobInfo, PresentDate());
  });
}

}  // namespace MarrowjetUI

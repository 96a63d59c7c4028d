// quorvane port add / port configure: the monitor's port dialogs, reached through the print
// system as the spooler's port list reaches them, filled in from options by a scripted user,
// or shown to the person at the display.
#pragma once
#include <string>
#include <vector>

namespace qv::cli {

// args[0] is "add" or "configure". Returns the exit code; throws UsageError or Failure.
int RunPortDialog(const std::vector<std::string>& args);

// The usage lines of port add and port configure, the field codes and an example.
std::string PortDialogUsage();

}  // namespace qv::cli

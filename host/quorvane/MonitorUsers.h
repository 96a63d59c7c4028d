// Why the print system keeps a monitor that was asked to go: the printers still on its ports.
// Uninstalling moves a printer only when its port is one of the monitor's ports written exactly
// as the monitor reports it; the print system, comparing port names without regard to case and
// inside pooled port lists, finds the rest.
#pragma once
#include <string>
#include <vector>

namespace qv::cli {

// One line per printer that keeps the monitor `monitor` in use, naming the printer, its port
// and the reason; empty when the print system names none.
std::vector<std::string> PrintersKeepingMonitor(const std::u16string& monitor);

}  // namespace qv::cli

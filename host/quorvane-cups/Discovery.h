// The backend run with no arguments, as the scheduler's device daemon runs it: one line for
// the scheme, then one per port of the monitor.
#pragma once
#include <string>
#include <vector>

namespace qv::backend {

// The discovery lines for `ports`, each with its line break.
std::string DiscoveryLines(const std::vector<std::string>& ports);
// The monitor's ports, as its EnumPorts reports them; none when Quorvane is not installed.
std::vector<std::string> MonitorPorts(const std::string& monitor);

}  // namespace qv::backend

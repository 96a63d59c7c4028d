// The backend run with no arguments, as the scheduler's device daemon runs it: one line for
// the scheme, then one per port of the monitor.
#pragma once
#include <string>
#include <vector>

namespace qv::backend {

// The discovery lines for `ports`, each with its line break.
std::string DiscoveryLines(const std::vector<std::string>& ports);

}  // namespace qv::backend

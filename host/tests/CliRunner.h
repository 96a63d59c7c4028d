// Runs the built quorvane program and collects what it printed and its exit code.
#pragma once
#include <string>
#include <vector>

namespace qv::testing {

struct CliResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs `quorvane args...` from the build's program folder; the child inherits the
// environment, so QUORVANE_PREFIX of a TempPrefix applies to it.
CliResult RunQuorvane(const std::vector<std::string>& args);

}  // namespace qv::testing

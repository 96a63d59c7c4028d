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
// The same with standard output going to `outputPath` ("/dev/full" for a full disk); the
// result's `out` is then empty.
CliResult RunQuorvaneWithOutputTo(const std::string& outputPath, const std::vector<std::string>& args);

}  // namespace qv::testing

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

// The same, as the user `uid` (group `gid`); the caller must be root, and the prefix must be
// open to that user.
// The job numbers that "quorvane print" told, one per "request id is PRINTER-N (1 file(s))" line.
std::vector<unsigned> JobIds(const std::string& printOutput);
// The first of them, as text ("" when none was told).
std::string JobId(const std::string& printOutput);

CliResult RunQuorvaneAs(unsigned uid, unsigned gid, const std::vector<std::string>& args);

}  // namespace qv::testing

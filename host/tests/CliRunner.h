// Runs the built quorvane program and collects what it printed and its exit code.
#pragma once
#include <map>
#include <optional>
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

// How RunQuorvaneWith starts the program.
struct CliRun {
  struct User {
    unsigned uid;
    unsigned gid;
  };
  std::string input = "/dev/null";  // its standard input
  // As this user (the caller must be root, and the prefix must be open to that user).
  std::optional<User> user;
  // When not 0, no file may grow past this many bytes (as on a full disk).
  unsigned long fileSizeLimit = 0;
  // Set in its environment, over what it inherits.
  std::map<std::string, std::string> environment;
};
CliResult RunQuorvaneWith(const CliRun& run, const std::vector<std::string>& args);

// The job numbers that "quorvane print" told, one per "request id is PRINTER-N (1 file(s))" line.
std::vector<unsigned> JobIds(const std::string& printOutput);
// The first of them, as text ("" when none was told).
std::string JobId(const std::string& printOutput);

// RunQuorvane as the user `uid` (group `gid`); the caller must be root, and the prefix must be
// open to that user.
CliResult RunQuorvaneAs(unsigned uid, unsigned gid, const std::vector<std::string>& args);

}  // namespace qv::testing

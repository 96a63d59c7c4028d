// The quorvane command's sub-commands. Each group lives in a file of its own and registers
// itself with a static CommandRegistrar, so adding a group touches no shared file.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

namespace qv::cli {

struct Command {
  const char* name;     // first word on the command line: "reg", "drive", "print", ...
  const char* summary;  // one line for `quorvane --help`
  const char* usage;    // lines shown after a usage error and by `quorvane NAME --help`
  int (*run)(const std::vector<std::string>& args);  // args after the name; returns exit code
};

void RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

struct CommandRegistrar {
  explicit CommandRegistrar(const Command& command) { RegisterCommand(command); }
};

// Bad input: main prints "quorvane: " + what(), then the command's usage, and exits 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failed operation: main prints "quorvane: " + what() and exits 1.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qv::cli

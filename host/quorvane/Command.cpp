#include "Command.h"

namespace qv::cli {

namespace {
// Filled by the static registrars of the Cmd*.cpp files before main runs; a function-local
// static, so it exists whichever file's registrar runs first.
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}
}  // namespace

void RegisterCommand(const Command& command) { Registry().push_back(command); }

const std::vector<Command>& Commands() { return Registry(); }

}  // namespace qv::cli

// Runs a program of the build (the quorvane command) and collects what it printed.
#pragma once
#include <string>
#include <vector>

namespace jobproc_testing {

struct ProgramResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs BinDir()/`program` with `args` in the environment of this process (QUORVANE_PREFIX
// included), output captured into files under `scratchDir`.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& scratchDir);

// The same, started without waiting: Wait() collects it.
class RunningProgram {
 public:
  RunningProgram(const std::string& program, const std::vector<std::string>& args, const std::string& scratchDir);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  ProgramResult Wait();

 private:
  int pid_ = -1;
  std::string outPath_;
  std::string errPath_;
};

}  // namespace jobproc_testing

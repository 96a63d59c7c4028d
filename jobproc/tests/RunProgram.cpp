#include "RunProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TempPrefix.h"

extern char** environ;

namespace jobproc_testing {
namespace {

std::atomic<int> g_runs{0};

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args,
                               const std::string& scratchDir) {
  const int run = ++g_runs;
  outPath_ = scratchDir + "/run" + std::to_string(getpid()) + "-" + std::to_string(run) + ".out";
  errPath_ = scratchDir + "/run" + std::to_string(getpid()) + "-" + std::to_string(run) + ".err";
  const std::string path = qv::testing::BinDir() + "/" + program;
  std::vector<std::string> argv{path};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int failed = posix_spawn(&pid_, path.c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) throw std::runtime_error("cannot start " + path);
}

RunningProgram::~RunningProgram() {
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
}

ProgramResult RunningProgram::Wait() {
  ProgramResult result;
  int status = 0;
  if (waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  pid_ = -1;
  result.out = Contents(outPath_);
  result.err = Contents(errPath_);
  unlink(outPath_.c_str());
  unlink(errPath_.c_str());
  return result;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& scratchDir) {
  return RunningProgram(program, args, scratchDir).Wait();
}

}  // namespace jobproc_testing

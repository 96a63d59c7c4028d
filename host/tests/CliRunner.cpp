#include "CliRunner.h"

#include <TempPrefix.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace qv::testing {

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Output goes to files, not pipes, so a chatty child can never block on a full pipe.
class OutputFiles {
 public:
  OutputFiles() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvcli-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder for the output");
    dir_ = pattern;
  }
  ~OutputFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string Out() const { return dir_ + "/out"; }
  std::string Err() const { return dir_ + "/err"; }

 private:
  std::string dir_;
};

}  // namespace

CliResult RunQuorvane(const std::vector<std::string>& args) { return RunQuorvaneWithOutputTo("", args); }

CliResult RunQuorvaneWithOutputTo(const std::string& outputPath, const std::vector<std::string>& args) {
  std::string program = BinDir() + "/quorvane";
  std::vector<char*> argv{program.data()};
  std::vector<std::string> copies(args);
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  OutputFiles files;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const std::string out = outputPath.empty() ? files.Out() : outputPath;
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, files.Err().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + program);

  int status = 0;
  waitpid(pid, &status, 0);
  CliResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = Slurp(files.Out());
  result.err = Slurp(files.Err());
  return result;
}

CliResult RunQuorvaneAs(unsigned uid, unsigned gid, const std::vector<std::string>& args) {
  CliRun run;
  run.user = CliRun::User{uid, gid};
  return RunQuorvaneWith(run, args);
}

CliResult RunQuorvaneWith(const CliRun& run, const std::vector<std::string>& args) {
  std::string program = BinDir() + "/quorvane";
  std::vector<char*> argv{program.data()};
  std::vector<std::string> copies(args);
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  OutputFiles files;
  const std::string out = files.Out(), err = files.Err();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("cannot start " + program);
  if (pid == 0) {
    // The output files are opened while still root, then the user is taken on for good.
    int in = open(run.input.c_str(), O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
    if (run.user && (setgroups(0, nullptr) != 0 || setgid(run.user->gid) != 0 || setuid(run.user->uid) != 0)) _exit(126);
    if (run.fileSizeLimit) {
      // A write past the limit then fails with EFBIG, as on a full disk, instead of killing.
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{run.fileSizeLimit, run.fileSizeLimit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    for (const auto& [name, value] : run.environment) setenv(name.c_str(), value.c_str(), 1);
    execve(program.c_str(), argv.data(), environ);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  CliResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = Slurp(out);
  result.err = Slurp(err);
  return result;
}

std::vector<unsigned> JobIds(const std::string& printOutput) {
  std::vector<unsigned> ids;
  size_t start = 0;
  while (start < printOutput.size()) {
    size_t end = printOutput.find('\n', start);
    if (end == std::string::npos) end = printOutput.size();
    const std::string line = printOutput.substr(start, end - start);
    start = end + 1;
    const size_t close = line.rfind(" (1 file(s))");
    const size_t dash = line.rfind('-', close);
    if (line.rfind("request id is ", 0) != 0 || close == std::string::npos || dash == std::string::npos) continue;
    ids.push_back(static_cast<unsigned>(std::stoul(line.substr(dash + 1, close - dash - 1))));
  }
  return ids;
}

std::string JobId(const std::string& printOutput) {
  const std::vector<unsigned> ids = JobIds(printOutput);
  return ids.empty() ? std::string() : std::to_string(ids[0]);
}

}  // namespace qv::testing

#include "PrivateScheduler.h"

#include <qv/cups.h>
#include <qv/prefix.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qv::testing {
namespace {

namespace fs = std::filesystem;

const char* const kCupsd = "/usr/sbin/cupsd";
const char* const kCupsLib = "/usr/lib/cups";

std::atomic<int> runs{0};

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

// Spawns `argv` with its output in files; returns the pid.
int Spawn(const std::vector<std::string>& argv, const std::string& input, const std::string& outPath,
          const std::string& errPath) {
  std::vector<std::string> args = argv;
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int pid = -1;
  int failed = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) throw std::runtime_error("cannot start " + args[0]);
  return pid;
}

std::string ScratchPath(const char* kind) {
  return (fs::temp_directory_path() / ("qvrun-" + std::to_string(getpid()) + "-" + std::to_string(++runs) + kind))
      .string();
}

Ran Collect(int pid, const std::string& outPath, const std::string& errPath) {
  Ran ran;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ran.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  ran.out = ReadFile(outPath);
  ran.err = ReadFile(errPath);
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  return ran;
}

}  // namespace

Ran RunCommand(const std::vector<std::string>& argv, const std::string& input) {
  std::string out = ScratchPath(".out"), err = ScratchPath(".err");
  return Collect(Spawn(argv, input, out, err), out, err);
}

Started::Started(const std::vector<std::string>& argv) : outPath_(ScratchPath(".out")), errPath_(ScratchPath(".err")) {
  pid_ = Spawn(argv, "/dev/null", outPath_, errPath_);
}

Started::~Started() {
  if (pid_ > 0) Wait();
}

Ran Started::Wait() {
  Ran ran = Collect(pid_, outPath_, errPath_);
  pid_ = -1;
  return ran;
}

std::string PrivateScheduler::Unavailable() {
  if (access(kCupsd, X_OK) != 0) return "cupsd is not installed (apt-get install cups-daemon cups-client)";
  if (geteuid() != 0) return "a private cupsd that runs root backends needs root";
  if (access("/usr/bin/lp", X_OK) != 0) return "the CUPS client programs are not installed (cups-client)";
  return {};
}

PrivateScheduler::PrivateScheduler(const std::string& errorPolicy) {
  // Short: cupsd drops a Listen socket whose path is over ~107 characters.
  char folder[] = "/tmp/qvc.XXXXXX";
  if (!mkdtemp(folder)) throw std::runtime_error("mkdtemp failed");
  dir_ = folder;
  chmod(dir_.c_str(), 0755);
  for (const char* sub : {"etc/ppd", "spool/tmp", "state", "cache", "log", "serverbin/backend", "serverbin/filter",
                          "prefix", "capture"})
    fs::create_directories(dir_ + "/" + sub);
  fs::create_directory_symlink(std::string(kCupsLib) + "/daemon", dir_ + "/serverbin/daemon");
  fs::create_directory_symlink(std::string(kCupsLib) + "/notifier", dir_ + "/serverbin/notifier");
  for (const char* kind : {"backend", "filter"}) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(std::string(kCupsLib) + "/" + kind, ignored))
      fs::create_symlink(entry.path(), dir_ + "/serverbin/" + kind + "/" + entry.path().filename().string(), ignored);
  }
  std::string files = "ServerRoot " + dir_ + "/etc\nRequestRoot " + dir_ + "/spool\nTempDir " + TempDir() +
                      "\nStateDir " + dir_ + "/state\nCacheDir " + dir_ + "/cache\nServerBin " + ServerBin() +
                      "\nDataDir /usr/share/cups\nErrorLog " + dir_ + "/log/error_log\nAccessLog " + dir_ +
                      "/log/access_log\nPageLog " + dir_ + "/log/page_log\nPrintcap " + dir_ +
                      "/printcap\nFileDevice Yes\nUser lp\nGroup lp\nSystemGroup root\n"
                      "SetEnv QUORVANE_PREFIX " + Prefix() + "\nSetEnv QV_CAPTURE_DIR " + CaptureDir() + "\n";
  // cupsd clears its backends' environment: what a sanitizer build needs is passed on.
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char* value = std::getenv(name)) files += std::string("SetEnv ") + name + " " + value + "\n";
  WriteText(dir_ + "/etc/cups-files.conf", files);
  WriteText(dir_ + "/etc/cupsd.conf",
            "LogLevel info\nListen " + Socket() +
                "\nBrowsing No\nBrowseLocalProtocols none\nDefaultAuthType None\nWebInterface No\n"
                "ErrorPolicy " + errorPolicy +
                "\nJobKillDelay 10\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                "<Policy default>\n  JobPrivateAccess all\n  JobPrivateValues none\n"
                "  SubscriptionPrivateAccess all\n  SubscriptionPrivateValues none\n"
                "  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
  setenv("CUPS_SERVER", Socket().c_str(), 1);
  setenv("CUPS_SERVERBIN", ServerBin().c_str(), 1);
  setenv("QUORVANE_PREFIX", Prefix().c_str(), 1);
  qv::SetPrefixOverride(Prefix());
  cups::UseScheduler(Socket());
}

PrivateScheduler::~PrivateScheduler() {
  Stop();
  cups::UseScheduler("");
  qv::SetPrefixOverride("");
  unsetenv("CUPS_SERVER");
  unsetenv("CUPS_SERVERBIN");
  unsetenv("QUORVANE_PREFIX");
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

void PrivateScheduler::AddBackend(const std::string& scheme, const std::string& program) {
  std::string target = ServerBin() + "/backend/" + scheme;
  fs::copy_file(program, target, fs::copy_options::overwrite_existing);
  chown(target.c_str(), 0, 0);
  chmod(target.c_str(), 0700);
}

bool PrivateScheduler::Start(std::string& why) {
  pid_ = Spawn({kCupsd, "-f", "-c", dir_ + "/etc/cupsd.conf", "-s", dir_ + "/etc/cups-files.conf"}, "/dev/null",
               dir_ + "/log/cupsd.out", dir_ + "/log/cupsd.err");
  bool ready = WaitFor(
      [&] {
        std::vector<cups::Queue> queues;
        return cups::ListQueues(queues) == ERROR_SUCCESS;
      });
  if (!ready) why = "cupsd did not answer: " + ReadFile(dir_ + "/log/cupsd.err") + ErrorLog();
  return ready;
}

void PrivateScheduler::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  bool reaped = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::seconds(10));
  if (!reaped) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

std::string PrivateScheduler::ErrorLog() const { return ReadFile(dir_ + "/log/error_log"); }

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> FilesUnder(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(dir, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored))
    if (it->is_regular_file(ignored)) files.push_back(fs::relative(it->path(), dir).string());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace qv::testing

// A CUPS scheduler of the test's own: its tree in a short temporary folder, listening on a
// socket there, with a Quorvane prefix beside it that cupsd passes to backends. While it lives
// the test process and every program it starts talk to it only (CUPS_SERVER), never to the
// machine's scheduler. The destructor stops cupsd (SIGTERM, then SIGKILL) and removes the tree.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace qv::testing {

struct Ran {
  int exitCode = -1;  // -1: killed by a signal
  std::string out;
  std::string err;
};

// Runs `argv` (found on PATH when not a path), standard input from `input`.
Ran RunCommand(const std::vector<std::string>& argv, const std::string& input = "/dev/null");

// A program started without waiting; the destructor waits for it.
class Started {
 public:
  explicit Started(const std::vector<std::string>& argv);
  ~Started();
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;
  int Pid() const { return pid_; }
  Ran Wait();

 private:
  int pid_ = -1;
  std::string outPath_;
  std::string errPath_;
};

class PrivateScheduler {
 public:
  // Why no private scheduler can run here (no cupsd, not root), or empty.
  static std::string Unavailable();

  // Makes the tree; `errorPolicy` is what cupsd does with a job whose backend failed.
  explicit PrivateScheduler(const std::string& errorPolicy = "stop-printer");
  ~PrivateScheduler();
  PrivateScheduler(const PrivateScheduler&) = delete;
  PrivateScheduler& operator=(const PrivateScheduler&) = delete;

  const std::string& Dir() const { return dir_; }
  std::string Prefix() const { return dir_ + "/prefix"; }
  std::string CaptureDir() const { return dir_ + "/capture"; }
  std::string Socket() const { return dir_ + "/cups.sock"; }
  std::string ServerBin() const { return dir_ + "/serverbin"; }
  std::string TempDir() const { return dir_ + "/spool/tmp"; }

  // Copies `program` into the tree's backend folder as `scheme`, root-owned, mode 0700.
  void AddBackend(const std::string& scheme, const std::string& program);
  // Starts cupsd and waits until it answers; false (with the log's tail in `why`) if it
  // doesn't within a few seconds.
  bool Start(std::string& why);
  void Stop();

  // "ERROR:" lines and the like the scheduler logged.
  std::string ErrorLog() const;

 private:
  std::string dir_;
  int pid_ = -1;
};

// Polls `done` every few milliseconds until it holds or `limit` has passed. The limit is
// generous: the scheduler, its filters and the sanitizer build of the backend share a loaded
// machine with the rest of the suite, and only a failure waits it out.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60));

std::string ReadFile(const std::string& path);
// Regular files under `dir`, relative paths, sorted.
std::vector<std::string> FilesUnder(const std::string& dir);

}  // namespace qv::testing

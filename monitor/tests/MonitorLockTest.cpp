// One request at a time: while EndDocPort runs a port's script, every other entry point but
// ReadPort waits in this process; in another process that runs the monitor on the same prefix,
// EndDocPort (another script) waits, StartDocPort and WritePort (its own job) do not.
#include "MonitorFixture.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Long enough for a call that is not held back to return.
constexpr auto kSettle = 200ms;

// Runs EndDocPort on a thread of its own with a script that blocks until Finish() and then
// runs `atEnd`. Later scripts (of other jobs) run straight through.
class RunningScript {
 public:
  RunningScript(RecordingServerState& server, const MONITOR& monitor, HANDLE port,
                std::function<void()> atEnd = [] {})
      : server_(server), atEnd_(std::move(atEnd)) {
    server.duringPrintFile = [this] {
      if (entered_.exchange(true)) return;
      running_.set_value();
      finish_.get_future().wait();
      atEnd_();
      finished_ = true;
    };
    endDoc_ = std::async(std::launch::async, [&monitor, port] { return monitor.pfnEndDocPort(port); });
    running_.get_future().wait();
  }
  ~RunningScript() {
    if (!released_) Finish();
    server_.duringPrintFile = nullptr;
  }
  BOOL Finish() {
    released_ = true;
    finish_.set_value();
    return endDoc_.get();
  }
  bool Finished() const { return finished_; }

 private:
  RecordingServerState& server_;
  std::function<void()> atEnd_;
  std::promise<void> running_;
  std::promise<void> finish_;
  std::atomic<bool> entered_{false};
  std::atomic<bool> finished_{false};
  bool released_ = false;
  std::future<BOOL> endDoc_;
};

class MonitorLockTest : public MonitorTest {
 protected:
  MonitorLockTest() : server_(RegisterRecordingServer()) { Spooler().jobs[8] = FakeJob{}; }
  RecordingServerState& server_;
};

TEST_F(MonitorLockTest, OtherEntryPointsWaitForTheRunningScript) {
  struct Case {
    const char* name;
    std::function<BOOL(const MONITOR&, HANDLE other)> call;
  };
  const std::vector<Case> cases = {
      {"OpenPort", [](const MONITOR& m, HANDLE) { HANDLE h; std::u16string n = u"QV3:"; return m.pfnOpenPort(n.data(), &h); }},
      {"ClosePort", [](const MONITOR& m, HANDLE other) { return m.pfnClosePort(other); }},
      {"StartDocPort", [](const MONITOR& m, HANDLE other) { std::u16string p = u"Printer"; return m.pfnStartDocPort(other, p.data(), 8, 1, nullptr); }},
      {"WritePort", [](const MONITOR& m, HANDLE other) { BYTE b[1] = {'x'}; DWORD w; return m.pfnWritePort(other, b, 1, &w); }},
      {"EndDocPort", [](const MONITOR& m, HANDLE other) { return m.pfnEndDocPort(other); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE running = Open(u"QV1:");
    HANDLE other = Open(u"QV2:");
    ASSERT_TRUE(Start(running, 7));
    ASSERT_TRUE(Start(other, 8));
    server_.Reset();

    RunningScript script(server_, monitor_, running);
    auto waiting = std::async(std::launch::async, [&] {
      c.call(monitor_, other);
      return script.Finished();
    });
    EXPECT_EQ(waiting.wait_for(kSettle), std::future_status::timeout);
    EXPECT_TRUE(script.Finish());
    EXPECT_TRUE(waiting.get()) << "returned before the script had finished";
    End(other);
  }
}

TEST_F(MonitorLockTest, ReadPortDoesNotWait) {
  HANDLE running = Open(u"QV1:");
  ASSERT_TRUE(Start(running, 7));
  RunningScript script(server_, monitor_, running);
  DWORD read = 5;
  EXPECT_TRUE(monitor_.pfnReadPort(running, nullptr, 0, &read));
  EXPECT_FALSE(script.Finished());
  EXPECT_TRUE(script.Finish());
}

// The lock child: another process running the monitor on this prefix (see LockChild.cpp).
class ChildProcess {
 public:
  ChildProcess(const std::string& marker, const std::string& mode) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    // Built beside this test program.
    const std::string program =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "qvpm_lock_child").string();
    const std::string library = MonitorLibrary::Path();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      execl(program.c_str(), program.c_str(), library.c_str(), marker.c_str(), mode.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    in_ = toChild[1];
    out_ = fromChild[0];
  }
  ~ChildProcess() {
    close(in_);
    close(out_);
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  std::string ReadLine() {
    std::string line;
    char c;
    while (read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  void Say(const std::string& line) { (void)!write(in_, (line + "\n").data(), line.size() + 1); }
  bool Running() {
    if (reaped_) return false;
    if (waitpid(pid_, &status_, WNOHANG) != pid_) return true;
    reaped_ = true;  // so that its number, free again, is never waited for or killed
    return false;
  }
  // Whether the child ends within `limit`; the limit is generous, only a child that never ends
  // waits it out.
  bool EndsWithin(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Running()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  int ExitCode() {
    if (!reaped_ && waitpid(pid_, &status_, 0) == pid_) reaped_ = true;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, status_ = 0;
  bool reaped_ = false;
};

TEST_F(MonitorLockTest, AnotherProcessWaitsOnlyToRunAScript) {
  struct Case {
    const char* mode;
    bool waits;
  } cases[] = {
      {"enddoc", true},  // EndDocPort runs a script, which may issue a serial number
      {"write", false},  // StartDocPort and WritePort touch only the job's own file
      {"openclose", false},  // OpenPort and ClosePort touch only this process's port table
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::string marker = prefix_.Path(std::string("script-finished-") + c.mode);
    ChildProcess child(marker, c.mode);
    ASSERT_EQ(child.ReadLine(), "ready");

    HANDLE running = Open(u"QV1:");
    ASSERT_TRUE(Start(running, 7));
    server_.Reset();
    RunningScript script(server_, monitor_, running, [&] { std::ofstream(marker) << "done"; });
    child.Say("go");
    if (c.waits) {
      std::this_thread::sleep_for(kSettle);
      EXPECT_TRUE(child.Running()) << "returned while the script ran";
    } else {
      // It ends while the script still runs (the script waits for Finish below), however long
      // a loaded machine takes to run it.
      EXPECT_TRUE(child.EndsWithin(60s)) << "held back by the script";
    }
    EXPECT_TRUE(script.Finish());
    EXPECT_EQ(child.ExitCode(), 0) << "1: returned at the wrong moment; 2: a call failed";
  }
}

}  // namespace

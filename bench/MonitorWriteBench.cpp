// The WritePort path: a 256 MiB job through the monitor's table in 64 KiB and in 4 KiB writes,
// against a bare loop that appends the way the API asks (open, seek to the end, write, close
// per chunk).
// "ratio" is the monitor's speed over the bare loop's, measured in the same run; "cpu_ratio"
// the same on processor time.
#include <TempPrefix.h>
#include <qv/prefix.h>
#include <qv/print_system.h>
#include <windows.h>
#include <winsplp.h>

#include "SmallJob.h"
#include "Stopwatch.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kJobBytes = size_t{256} << 20;

using qv::bench::Spent;
using qv::bench::Stopwatch;

// A prefix of its own with printer "Bench" on "FILE:", TMPDIR inside it, and the monitor
// loaded and initialised as the spooler does it.
class MonitorBench {
 public:
  MonitorBench() : dir_(prefix_.Dir()) {
    std::filesystem::create_directories(dir_ + "/tmp");
    if (const char* saved = std::getenv("TMPDIR")) savedTmpDir_ = saved;
    setenv("TMPDIR", (dir_ + "/tmp").c_str(), 1);
    if (qv::AddPrinter("Bench", "FILE:", "Bench Driver") != 0) throw std::runtime_error("cannot add the printer");
    library_ = dlopen((qv::LibraryDir() + "/libqvpm.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) throw std::runtime_error(dlerror());
    auto initialize = reinterpret_cast<PFN_InitializePrintMonitor>(dlsym(library_, "InitializePrintMonitor"));
    std::u16string root = WSTR("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane");
    monitor_ = initialize(root.data())->Monitor;
    std::u16string port = WSTR("BENCH:");
    monitor_.pfnOpenPort(port.data(), &port_);
  }
  ~MonitorBench() {
    monitor_.pfnClosePort(port_);
    dlclose(library_);
    if (savedTmpDir_.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", savedTmpDir_.c_str(), 1);
  }

  // Time spent in WritePort for one whole job.
  Spent MonitorJob(const std::vector<BYTE>& chunk) {
    std::u16string printer = WSTR("Bench");
    if (!monitor_.pfnStartDocPort(port_, printer.data(), qv::bench::SpoolSmallJob("Bench"), 1, nullptr))
      throw std::runtime_error("StartDocPort failed");
    Stopwatch watch;
    for (size_t done = 0; done < kJobBytes; done += chunk.size()) {
      DWORD written = 0;
      if (!monitor_.pfnWritePort(port_, const_cast<BYTE*>(chunk.data()), static_cast<DWORD>(chunk.size()), &written))
        throw std::runtime_error("WritePort failed");
    }
    Spent spent = watch.Elapsed();
    monitor_.pfnEndDocPort(port_);
    return spent;
  }

  // Time for the same job appended by a bare loop.
  Spent BareJob(const std::vector<BYTE>& chunk) {
    const std::string path = dir_ + "/tmp/bare.tmp";
    close(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
    Stopwatch watch;
    for (size_t done = 0; done < kJobBytes; done += chunk.size()) {
      int fd = open(path.c_str(), O_WRONLY);
      if (fd < 0 || lseek(fd, 0, SEEK_END) < 0 ||
          write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size()))
        throw std::runtime_error("bare append failed");
      close(fd);
    }
    Spent spent = watch.Elapsed();
    unlink(path.c_str());
    return spent;
  }

 private:
  qv::testing::TempPrefix prefix_;
  std::string dir_;
  std::string savedTmpDir_;
  void* library_ = nullptr;
  MONITOR monitor_{};
  HANDLE port_ = nullptr;
};

void BM_WritePortAgainstBareAppend(benchmark::State& state) {
  MonitorBench bench;
  const std::vector<BYTE> chunk(static_cast<size_t>(state.range(0)), 0x5A);
  Spent monitor, bare;
  bool bareFirst = true;  // alternated, so that neither side always meets the other's writeback
  for (auto _ : state) {
    if (bareFirst) bare += bench.BareJob(chunk);
    monitor += bench.MonitorJob(chunk);
    if (!bareFirst) bare += bench.BareJob(chunk);
    bareFirst = !bareFirst;
  }
  const double mib = static_cast<double>(kJobBytes >> 20) * static_cast<double>(state.iterations());
  state.counters["monitor_MiB/s"] = mib / monitor.wall;
  state.counters["bare_MiB/s"] = mib / bare.wall;
  state.counters["ratio"] = bare.wall / monitor.wall;  // target: at least 0.8
  // The same on processor time, which a busy machine disturbs less.
  state.counters["cpu_ratio"] = bare.cpu / monitor.cpu;
}

BENCHMARK(BM_WritePortAgainstBareAppend)->Arg(64 << 10)->Arg(4 << 10)->Iterations(4)->Unit(benchmark::kMillisecond);

}  // namespace

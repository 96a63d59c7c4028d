// Small jobs through the monitor's entry points (OpenPort, StartDocPort, WritePort, EndDocPort,
// ClosePort) to a port whose script is one write-file action, against a bare loop doing the
// same file work for each job: create a temporary file, write the job into it, copy it over the
// destination the way the platform's copy does (staged, flushed, renamed, folder flushed), and
// delete the temporary file. "ratio" is the monitor's jobs per second over the bare loop's,
// measured in the same run (target: at least 0.5, and at least 1000 jobs/s); "cpu_ratio" the
// same on processor time.
#include <TempPrefix.h>
#include <qv/prefix.h>
#include <qv/print_system.h>
#include <windows.h>
#include <winsplp.h>

#include "SmallJob.h"
#include "Stopwatch.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr size_t kJobBytes = 4096;
constexpr int kJobsPerRound = 200;
const char kMonitorKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";

using qv::bench::Spent;
using qv::bench::Stopwatch;

void SetText(const std::string& path, const std::u16string& name, const std::u16string& value) {
  HKEY key = nullptr;
  std::u16string widePath(path.begin(), path.end());
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, widePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
    throw std::runtime_error("cannot create " + path);
  RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(key);
}

class OwnedFd {
 public:
  explicit OwnedFd(int fd) : fd_(fd) {
    if (fd_ < 0) throw std::runtime_error("open failed");
  }
  ~OwnedFd() { close(fd_); }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// A prefix of its own: port "QV1" whose script writes C:\Bench\job.prn, the job processor
// registered, printer "Bench" with one spooled job for StartDocPort to read, and the monitor
// loaded and initialised as the spooler does it.
class JobBench {
 public:
  JobBench() : dir_(prefix_.Dir()), data_(kJobBytes, 'J') {
    std::filesystem::create_directories(dir_ + "/tmp");
    std::filesystem::create_directories(dir_ + "/bare");
    if (const char* saved = std::getenv("TMPDIR")) savedTmpDir_ = saved;
    setenv("TMPDIR", (dir_ + "/tmp").c_str(), 1);

    SetText(std::string(kMonitorKey) + "\\QV1", u"Script", u"WriteFile: C:\\Bench\\job.prn");
    jobProcessor_ = dlopen((qv::LibraryDir() + "/libmarrowjetui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!jobProcessor_) throw std::runtime_error(dlerror());
    auto registerServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(jobProcessor_, "DllRegisterServer"));
    if (registerServer() != S_OK) throw std::runtime_error("cannot register the job processor");

    if (qv::AddPrinter("Bench", "FILE:", "Bench Driver") != 0) throw std::runtime_error("cannot add the printer");
    jobId_ = qv::bench::SpoolSmallJob("Bench");
    monitorLibrary_ = dlopen((qv::LibraryDir() + "/libqvpm.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!monitorLibrary_) throw std::runtime_error(dlerror());
    auto initialize = reinterpret_cast<PFN_InitializePrintMonitor>(dlsym(monitorLibrary_, "InitializePrintMonitor"));
    std::u16string root(kMonitorKey, kMonitorKey + sizeof kMonitorKey - 1);
    monitor_ = initialize(root.data())->Monitor;
  }

  ~JobBench() {
    dlclose(monitorLibrary_);
    dlclose(jobProcessor_);
    if (savedTmpDir_.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", savedTmpDir_.c_str(), 1);
  }

  Spent MonitorJobs() {
    std::u16string port = u"QV1";
    std::u16string printer = u"Bench";
    Stopwatch watch;
    for (int i = 0; i < kJobsPerRound; ++i) {
      HANDLE handle = nullptr;
      DWORD written = 0;
      if (!monitor_.pfnOpenPort(port.data(), &handle) ||
          !monitor_.pfnStartDocPort(handle, printer.data(), jobId_, 1, nullptr) ||
          !monitor_.pfnWritePort(handle, reinterpret_cast<BYTE*>(data_.data()), kJobBytes, &written) ||
          !monitor_.pfnEndDocPort(handle) || !monitor_.pfnClosePort(handle))
        throw std::runtime_error("a monitor entry point failed");
    }
    return watch.Elapsed();
  }

  Spent BareJobs() {
    const std::string folder = dir_ + "/bare";
    const std::string destination = folder + "/job.prn";
    Stopwatch watch;
    for (int i = 0; i < kJobsPerRound; ++i) {
      const std::string temp = dir_ + "/tmp/DRN" + std::to_string(i) + ".tmp";
      {
        OwnedFd file(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
        if (write(file.Get(), data_.data(), data_.size()) != static_cast<ssize_t>(data_.size()))
          throw std::runtime_error("bare write failed");
      }
      Copy(temp, folder, destination);
      unlink(temp.c_str());
    }
    return watch.Elapsed();
  }

 private:
  static void Copy(const std::string& source, const std::string& folder, const std::string& destination) {
    const std::string staged = destination + ".copy";
    {
      OwnedFd in(open(source.c_str(), O_RDONLY));
      OwnedFd out(open(staged.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
      char buffer[65536];
      ssize_t got = 0;
      while ((got = read(in.Get(), buffer, sizeof buffer)) > 0)
        if (write(out.Get(), buffer, static_cast<size_t>(got)) != got) throw std::runtime_error("bare copy failed");
      if (fsync(out.Get()) != 0) throw std::runtime_error("bare fsync failed");
    }
    if (rename(staged.c_str(), destination.c_str()) != 0) throw std::runtime_error("bare rename failed");
    OwnedFd directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY));
    fsync(directory.Get());
  }


  qv::testing::TempPrefix prefix_;
  std::string dir_;
  std::string savedTmpDir_;
  std::string data_;
  void* jobProcessor_ = nullptr;
  void* monitorLibrary_ = nullptr;
  MONITOR monitor_{};
  DWORD jobId_ = 0;
};

void BM_SmallJobsAgainstBareFileWork(benchmark::State& state) {
  JobBench bench;
  Spent monitor, bare;
  bool bareFirst = true;  // alternated, so that neither side always meets the other's writeback
  for (auto _ : state) {
    if (bareFirst) bare += bench.BareJobs();
    monitor += bench.MonitorJobs();
    if (!bareFirst) bare += bench.BareJobs();
    bareFirst = !bareFirst;
  }
  const double jobs = static_cast<double>(kJobsPerRound) * static_cast<double>(state.iterations());
  state.counters["monitor_jobs/s"] = jobs / monitor.wall;
  state.counters["bare_jobs/s"] = jobs / bare.wall;
  state.counters["ratio"] = bare.wall / monitor.wall;
  state.counters["cpu_ratio"] = bare.cpu / monitor.cpu;
}

BENCHMARK(BM_SmallJobsAgainstBareFileWork)->Iterations(4)->Unit(benchmark::kMillisecond);

}  // namespace

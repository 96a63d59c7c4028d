// Whole small jobs in one process, the way the print system runs them: spooled, then sent
// through a port of the monitor (DespoolJob: OpenPort, StartDocPort, WritePort, EndDocPort,
// ClosePort) whose script is one write-file action. Three ways in ("way"):
//   0 sent at once, as `quorvane print` does (SpoolJobUnflushed, AcceptSpoolToSendNow,
//     DespoolJob, KeepJobInSpool): the spool files are flushed only for a job that stays;
//   1 accepted durably, as SpoolJob does for a job sent later (data and description flushed and
//     renamed into place, the spool folder flushed, before the job is sent);
//   2 printed through the API (OpenPrinterA, StartDocPrinterA, WritePrinter, EndDocPrinter,
//     ClosePrinter), which sends the job before EndDocPrinter returns, flushed in the spool only
//     if it stays, like way 0.
// The baseline does the same file work bare, with the flushes a durable job needs: the spooled
// data flushed and renamed into place, the spool folder flushed, the output staged, flushed,
// renamed and its folder flushed, the spool file removed.
// "ratio" is the print system's jobs per second over the baseline's, measured in the same run
// (target: at least 0.9); "cpu_ratio" the same on processor time. With tmpfs:1 the prefix lies
// on tmpfs (/dev/shm), where flushes cost nothing: "jobs/s" then shows what a job costs in
// processor time alone (target: at least 2000) when the machine is otherwise idle;
// "jobs/cpu_s" shows the same on a busy machine (jobs per second of this process's processor
// time), where waiting for a processor counts in "jobs/s".
#include <TempPrefix.h>
#include <qv/prefix.h>
#include <qv/print_system.h>
#include <windows.h>
#include <winsplp.h>

#include "Stopwatch.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

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

void Flush(int fd) {
  if (fsync(fd) != 0) throw std::runtime_error("fsync failed");
}

void FlushFolder(const std::string& folder) {
  OwnedFd directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY));
  Flush(directory.Get());
}

// Writes `size` bytes to a new file, flushes it and renames it to `destination`.
void WriteDurably(const std::string& staged, const std::string& destination, const char* data, size_t size) {
  {
    OwnedFd file(open(staged.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    if (write(file.Get(), data, size) != static_cast<ssize_t>(size)) throw std::runtime_error("bare write failed");
    Flush(file.Get());
  }
  if (rename(staged.c_str(), destination.c_str()) != 0) throw std::runtime_error("bare rename failed");
}

// Points temporary folders (and with them the prefix) at tmpfs while it lives.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(bool tmpfs) {
    if (const char* saved = std::getenv("TMPDIR")) saved_ = saved;
    if (tmpfs) setenv("TMPDIR", "/dev/shm", 1);
  }
  ~TemporaryFolder() {
    if (saved_.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", saved_.c_str(), 1);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

 private:
  std::string saved_;
};

// A prefix of its own (on tmpfs when asked): the monitor installed, port "QV1" whose script
// writes C:\Bench\job.prn, the job processor registered, printer "Bench" on "QV1", and the job's
// data in a file.
class JobBench {
 public:
  explicit JobBench(bool tmpfs) : folder_(tmpfs), prefix_(std::make_unique<qv::testing::TempPrefix>()), dir_(prefix_->Dir()) {
    std::filesystem::create_directories(dir_ + "/tmp");
    std::filesystem::create_directories(dir_ + "/bare/spool");
    std::filesystem::create_directories(dir_ + "/bare/out");
    setenv("TMPDIR", (dir_ + "/tmp").c_str(), 1);
    std::string data(kJobBytes, 'J');
    WriteDurably(dir_ + "/input.staged", Input(), data.data(), data.size());

    SetText(std::string(kMonitorKey) + "\\QV1", u"Script", u"WriteFile: C:\\Bench\\job.prn");
    jobProcessor_ = dlopen((qv::LibraryDir() + "/libmarrowjetui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!jobProcessor_) throw std::runtime_error(dlerror());
    auto registerServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(jobProcessor_, "DllRegisterServer"));
    if (registerServer() != S_OK) throw std::runtime_error("cannot register the job processor");
    std::u16string name = u"Quorvane", environment = u"Windows NT x86", library = u"QVPM.DLL";
    MONITOR_INFO_2W info{name.data(), environment.data(), library.data()};
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) throw std::runtime_error("cannot add the monitor");
    if (qv::AddPrinter("Bench", "QV1", "Bench Driver") != 0) throw std::runtime_error("cannot add the printer");
  }

  ~JobBench() {
    prefix_.reset();
    dlclose(jobProcessor_);
  }

  std::string Input() const { return dir_ + "/input.bin"; }

  Spent PrintSystemJobs(int way) {
    qv::JobSubmission job{"Bench", "bench", "bench", "bench", 0};
    std::string data(kJobBytes, 0);
    Stopwatch watch;
    for (int i = 0; i < kJobsPerRound; ++i) {
      OwnedFd input(open(Input().c_str(), O_RDONLY | O_CLOEXEC));
      DWORD id = 0;
      if (way == 0) {
        if (qv::SpoolJobUnflushed(job, input.Get(), id) != 0 || qv::AcceptSpoolToSendNow() != 0)
          throw std::runtime_error("cannot spool");
        if (qv::DespoolJob(id) != 0) throw std::runtime_error("the job failed");
        if (qv::KeepJobInSpool(id) != 0) throw std::runtime_error("the job can't be kept");
      } else if (way == 1) {
        if (qv::SpoolJob(job, input.Get(), id) != 0) throw std::runtime_error("cannot spool");
        if (qv::DespoolJob(id) != 0) throw std::runtime_error("the job failed");
      } else {
        if (read(input.Get(), data.data(), data.size()) != static_cast<ssize_t>(data.size()))
          throw std::runtime_error("cannot read the job's data");
        PrintDocument(data);
      }
    }
    return watch.Elapsed();
  }

  // One document through the API, as an application prints it.
  static void PrintDocument(std::string& data) {
    std::string printerName = "Bench", datatype = "RAW", name = "bench";
    PRINTER_DEFAULTSA defaults{datatype.data(), nullptr, PRINTER_ACCESS_USE};
    HANDLE printer = nullptr;
    if (!OpenPrinterA(printerName.data(), &printer, &defaults)) throw std::runtime_error("cannot open the printer");
    DOC_INFO_1A info{name.data(), nullptr, datatype.data()};
    DWORD written = 0;
    const bool printed = StartDocPrinterA(printer, 1, reinterpret_cast<LPBYTE>(&info)) != 0 &&
                         WritePrinter(printer, data.data(), static_cast<DWORD>(data.size()), &written) &&
                         EndDocPrinter(printer);
    ClosePrinter(printer);
    if (!printed) throw std::runtime_error("the document failed");
  }

  Spent BareJobs() {
    const std::string spool = dir_ + "/bare/spool", out = dir_ + "/bare/out";
    std::string data(kJobBytes, 0);
    Stopwatch watch;
    for (int i = 0; i < kJobsPerRound; ++i) {
      const std::string name = std::to_string(i);
      {
        OwnedFd input(open(Input().c_str(), O_RDONLY));
        if (read(input.Get(), data.data(), data.size()) != static_cast<ssize_t>(data.size()))
          throw std::runtime_error("bare read failed");
      }
      WriteDurably(spool + "/." + name + ".spl", spool + "/" + name + ".spl", data.data(), data.size());
      FlushFolder(spool);
      WriteDurably(out + "/.job.prn", out + "/job.prn", data.data(), data.size());
      FlushFolder(out);
      unlink((spool + "/" + name + ".spl").c_str());
    }
    return watch.Elapsed();
  }

 private:
  TemporaryFolder folder_;
  std::unique_ptr<qv::testing::TempPrefix> prefix_;
  std::string dir_;
  void* jobProcessor_ = nullptr;
};

void BM_WholeJobsAgainstBareDurableFileWork(benchmark::State& state) {
  JobBench bench(state.range(0) != 0);
  const int way = static_cast<int>(state.range(1));
  Spent system, bare;
  bool bareFirst = true;  // alternated, so that neither side always meets the other's writeback
  for (auto _ : state) {
    if (bareFirst) bare += bench.BareJobs();
    system += bench.PrintSystemJobs(way);
    if (!bareFirst) bare += bench.BareJobs();
    bareFirst = !bareFirst;
  }
  const double jobs = static_cast<double>(kJobsPerRound) * static_cast<double>(state.iterations());
  state.counters["jobs/s"] = jobs / system.wall;
  // Jobs per second of processor time: what "jobs/s" would be with a processor to itself, the
  // figure that tells on a machine shared with other work.
  state.counters["jobs/cpu_s"] = jobs / system.cpu;
  state.counters["bare_jobs/s"] = jobs / bare.wall;
  state.counters["ratio"] = bare.wall / system.wall;
  state.counters["cpu_ratio"] = bare.cpu / system.cpu;
}

// tmpfs 0: the prefix on the build machine's disk; 1: on tmpfs. way: see the top of the file.
BENCHMARK(BM_WholeJobsAgainstBareDurableFileWork)
    ->ArgNames({"tmpfs", "way"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Iterations(4)
    ->Unit(benchmark::kMillisecond);

}  // namespace

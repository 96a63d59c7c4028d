// Submit-to-completion of small jobs under a private CUPS scheduler: through "quorvane:/Arch"
// (the backend, the monitor and a one-action write-file script) against a null C backend on the
// same scheduler, the two sides alternated in rounds. "slowdown" is Quorvane's time per job over
// the null backend's (goal: 1.2 or less); most of either is the scheduler's own work.
#include <CupsFixture.h>
#include <PrivateScheduler.h>
#include <TempPrefix.h>
#include <qv/cups.h>

#include "Stopwatch.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

constexpr int kJobsPerRound = 20;
constexpr size_t kJobBytes = 1024;

using qv::bench::Spent;
using qv::bench::Stopwatch;
using qv::testing::PrivateScheduler;

class CupsBench {
 public:
  CupsBench() {
    if (std::string why = PrivateScheduler::Unavailable(); !why.empty()) throw std::runtime_error(why);
    scheduler_ = std::make_unique<PrivateScheduler>("stop-printer");
    scheduler_->AddBackend("null", qv::testing::BinDir() + "/qvnullbackend");
    std::string why;
    if (!scheduler_->Start(why)) throw std::runtime_error(why);
    if (qv::testing::Quorvane({"install", "--cups"}).exitCode != 0) throw std::runtime_error("install --cups failed");
    qv::testing::SetScript("Arch", "WriteFile: C:\\Bench\\?SN?.prn");
    if (qv::cups::AddRawQueue("Arch", "Arch", "") || qv::cups::AddRawQueue("Null", "null:/", ""))
      throw std::runtime_error("cannot add the queues: " + qv::cups::LastSchedulerMessage());
    data_ = scheduler_->Dir() + "/job.bin";
    std::ofstream(data_, std::ios::binary) << std::string(kJobBytes, 'J');
  }

  // Each job submitted once the one before it has completed.
  Spent Jobs(const std::string& queue) {
    Stopwatch watch;
    for (int i = 0; i < kJobsPerRound; ++i) {
      int fd = open(data_.c_str(), O_RDONLY);
      DWORD id = 0;
      DWORD status = qv::cups::SubmitRawJob(queue, "bench", "bench", fd, id);
      close(fd);
      if (status) throw std::runtime_error("submit failed: " + qv::cups::LastSchedulerMessage());
      WaitForCompletion(queue);
    }
    return watch.Elapsed();
  }

 private:
  static void WaitForCompletion(const std::string& queue) {
    for (int polls = 0; polls < 20000; ++polls) {
      std::vector<qv::cups::CupsJob> jobs;
      if (qv::cups::ListActiveJobs(jobs) == ERROR_SUCCESS && jobs.empty()) {
        qv::cups::Queue state;
        if (qv::cups::GetQueue(queue, state) == ERROR_SUCCESS && state.state == 5)
          throw std::runtime_error(queue + " stopped: " + state.stateMessage);
        return;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    throw std::runtime_error("a job did not complete");
  }

  std::unique_ptr<PrivateScheduler> scheduler_;
  std::string data_;
};

void BM_SubmitToCompletionAgainstNullBackend(benchmark::State& state) {
  try {
    CupsBench bench;
    Spent quorvane, null;
    bool nullFirst = true;
    for (auto _ : state) {
      if (nullFirst) null += bench.Jobs("Null");
      quorvane += bench.Jobs("Arch");
      if (!nullFirst) null += bench.Jobs("Null");
      nullFirst = !nullFirst;
    }
    const double jobs = static_cast<double>(kJobsPerRound) * static_cast<double>(state.iterations());
    state.counters["quorvane_ms/job"] = quorvane.wall * 1000 / jobs;
    state.counters["null_ms/job"] = null.wall * 1000 / jobs;
    state.counters["slowdown"] = quorvane.wall / null.wall;
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
  }
}

BENCHMARK(BM_SubmitToCompletionAgainstNullBackend)->Iterations(4)->Unit(benchmark::kMillisecond);

}  // namespace

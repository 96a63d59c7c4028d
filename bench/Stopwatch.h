// Wall time and this process's processor time of one stretch of work, for benchmarks that
// compare two ways of doing the same work in one run.
#pragma once
#include <chrono>
#include <ctime>

namespace qv::bench {

struct Spent {
  double wall = 0;
  double cpu = 0;
  Spent& operator+=(const Spent& other) {
    wall += other.wall;
    cpu += other.cpu;
    return *this;
  }
};

inline double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class Stopwatch {
 public:
  using Clock = std::chrono::steady_clock;
  Stopwatch() : wall_(Clock::now()), cpu_(CpuSeconds()) {}
  Spent Elapsed() const {
    return {std::chrono::duration<double>(Clock::now() - wall_).count(), CpuSeconds() - cpu_};
  }

 private:
  Clock::time_point wall_;
  double cpu_;
};

}  // namespace qv::bench

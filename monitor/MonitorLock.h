// The monitor's one lock: a critical section for the threads of this process and the named
// mutex "Monitor" for the other processes that run the monitor on the same machine, taken in
// that order. Every entry point but ReadPort holds it from entry to return.
#pragma once
#include <windows.h>

namespace Quorvane {

class MonitorLock {
 public:
  MonitorLock();
  ~MonitorLock();
  MonitorLock(const MonitorLock&) = delete;
  MonitorLock& operator=(const MonitorLock&) = delete;

  // Holds the lock for its lifetime.
  class Guard {
   public:
    explicit Guard(MonitorLock& lock);
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    MonitorLock& lock_;
    bool ownsMutex_;
  };

 private:
  CRITICAL_SECTION section_;
  HANDLE mutex_;
};

}  // namespace Quorvane

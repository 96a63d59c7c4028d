// The monitor's one lock: a critical section for the threads of this process and the named
// mutex "Monitor" for the other processes that run the monitor on the same machine, taken in
// that order. Every entry point but ReadPort holds it from entry to return. The entry points
// that touch only this process's tables and their own job (OpenPort, ClosePort, StartDocPort,
// WritePort) hold the critical section alone: what other processes share (the serial number a
// script issues, the ports' keys) is reached only by EndDocPort and port management, which hold
// both.
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
    enum class Reach { ThisProcess, AllProcesses };
    explicit Guard(MonitorLock& lock, Reach reach = Reach::AllProcesses);
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

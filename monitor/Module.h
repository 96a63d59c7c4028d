// The library's module state, set up when the library is loaded and torn down when it is
// unloaded: what DllMain does at process attach and detach on Windows. A shared library gets
// no per-thread notifications, so there are none to turn off.
#pragma once
#include <windows.h>

namespace Quorvane {

class Module {
 public:
  Module();   // the library is loaded
  ~Module();  // the library is unloaded
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // The library's own module, by which registration finds the library's file; null when it
  // could not be found.
  HMODULE Instance() const { return instance_; }
  // Locks on the library's class objects. It serves no component classes, so nothing ever
  // raises the count.
  LONG LockCount() const { return lockCount_; }

 private:
  HMODULE instance_ = nullptr;
  LONG lockCount_ = 0;
};

extern Module ThisModule;

}  // namespace Quorvane

// The monitor library loaded the way a spooler loads it, and the recording job processor.
#pragma once
#include "RecordingServer.h"

#include <windows.h>
#include <winsplp.h>

#include <string>

// libqvpm.so from the platform's library folder, loaded fresh for the object's life: unloading
// it runs the monitor's unload, so every object starts at port handle 1.
class MonitorLibrary {
 public:
  MonitorLibrary();
  ~MonitorLibrary();
  MonitorLibrary(const MonitorLibrary&) = delete;
  MonitorLibrary& operator=(const MonitorLibrary&) = delete;

  LPMONITOREX Initialize(const std::u16string& registryRoot);
  void* Symbol(const char* name) const;

  static std::string Path();
  static bool IsLoaded();

 private:
  void* library_;
};

// Loads the recording server, registers it under the job processor's ProgIDs in the current
// prefix and returns its record, cleared.
RecordingServerState& RegisterRecordingServer();

#include "MonitorLibrary.h"

#include <qv/prefix.h>

#include <dlfcn.h>
#include <stdexcept>

MonitorLibrary::MonitorLibrary() : library_(dlopen(Path().c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (!library_) throw std::runtime_error(std::string("cannot load the monitor: ") + dlerror());
}

MonitorLibrary::~MonitorLibrary() { dlclose(library_); }

LPMONITOREX MonitorLibrary::Initialize(const std::u16string& registryRoot) {
  auto initialize = reinterpret_cast<PFN_InitializePrintMonitor>(Symbol("InitializePrintMonitor"));
  std::u16string root = registryRoot;
  return initialize ? initialize(root.data()) : nullptr;
}

void* MonitorLibrary::Symbol(const char* name) const { return dlsym(library_, name); }

std::string MonitorLibrary::Path() { return qv::LibraryDir() + "/libqvpm.so"; }

bool MonitorLibrary::IsLoaded() {
  void* handle = dlopen(Path().c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

RecordingServerState& RegisterRecordingServer() {
  // Stays loaded for the whole test program, like a server the runtime keeps.
  static void* server = dlopen((qv::LibraryDir() + "/libqvpm_recording_server.so").c_str(), RTLD_NOW);
  if (!server) throw std::runtime_error(std::string("cannot load the recording server: ") + dlerror());
  auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(server, "DllRegisterServer"));
  auto record = reinterpret_cast<RecordingServerState* (*)()>(dlsym(server, "RecordingServer"));
  if (!registerServer || !record || FAILED(registerServer()))
    throw std::runtime_error("cannot register the recording server");
  record()->Reset();
  return *record();
}

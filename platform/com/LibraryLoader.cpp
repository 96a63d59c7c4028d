#include "LibraryLoader.h"

#include <qv/prefix.h>

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace qv::com {
namespace {

namespace fs = std::filesystem;

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::is_regular_file(path, ignored);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool EndsWithDll(const std::string& name) {
  return name.size() >= 4 && Lower(name.substr(name.size() - 4)) == ".dll";
}

// "QVPM.DLL" -> "libqvpm.so": the name the build gives the library a Windows name stands for.
std::string HostLibraryName(const std::string& windowsName) {
  return "lib" + Lower(windowsName.substr(0, windowsName.size() - 4)) + ".so";
}

// The Windows system libraries whose functions the platform itself provides.
bool IsSystemLibraryName(const std::string& name) {
  static constexpr const char* kSystemLibraries[] = {
      "kernel32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll", "user32.dll", "winspool.drv"};
  const std::string lower = Lower(name);
  return std::any_of(std::begin(kSystemLibraries), std::end(kSystemLibraries),
                     [&](const char* system) { return lower == system; });
}

// Another reference to the platform library. It is marked never to be unloaded: a caller's
// FreeLibrary of "kernel32.dll" must not take the platform away from everyone.
void* OpenPlatform(int flags) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OpenLibrary), &info) == 0 || !info.dli_fname) return nullptr;
  return dlopen(info.dli_fname, flags | RTLD_NODELETE);
}

}  // namespace

OpenedLibrary OpenLibrary(const std::string& name, int flags) {
  OpenedLibrary result;
  if (name.empty() || name.find('\\') != std::string::npos) {
    result.missing = true;
    return result;
  }
  if (IsSystemLibraryName(name)) {
    result.handle = OpenPlatform(flags);
    result.missing = !result.handle;
    return result;
  }
  if (name.find('/') != std::string::npos) {
    // A relative path would depend on the working directory: code is never loaded that way.
    if (name.front() != '/') {
      result.missing = true;
      return result;
    }
    result.handle = dlopen(name.c_str(), flags);
    result.missing = !result.handle && !FileExists(name);
    return result;
  }
  std::string folder = qv::LibraryDir();
  std::string candidates[2] = {folder + "/" + name,
                               EndsWithDll(name) ? folder + "/" + HostLibraryName(name) : ""};
  for (const std::string& candidate : candidates) {
    if (candidate.empty() || !FileExists(candidate)) continue;
    result.handle = dlopen(candidate.c_str(), flags);
    return result;  // found: a load failure is the library's, not a missing file
  }
  result.handle = dlopen(name.c_str(), flags);
  result.missing = !result.handle;
  return result;
}

HMODULE ModuleOfHandle(void* handle) {
  link_map* map = nullptr;
  if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
  // Any address inside the object leads to its base; its dynamic section is one.
  return ModuleContaining(map->l_ld);
}

HMODULE ModuleContaining(const void* address) {
  Dl_info info{};
  if (!address || dladdr(address, &info) == 0) return nullptr;
  return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE ProgramModule() {
  static const HMODULE program = [] {
    void* self = dlopen(nullptr, RTLD_NOW);
    HMODULE module = ModuleOfHandle(self);
    if (self) dlclose(self);
    return module;
  }();
  return program;
}

std::string ModulePath(HMODULE module) {
  std::error_code error;
  if (!module || module == ProgramModule()) {
    fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : program.string();
  }
  Dl_info info{};
  if (dladdr(module, &info) == 0 || info.dli_fbase != module || !info.dli_fname || !*info.dli_fname)
    return {};
  fs::path path = fs::absolute(info.dli_fname, error);
  return error ? std::string() : path.lexically_normal().string();
}

void* LibrarySymbol(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  // dlsym also searches the libraries the module depends on; a Windows module exports only
  // its own functions.
  if (!symbol || ModuleContaining(symbol) != ModuleOfHandle(handle)) return nullptr;
  return symbol;
}

void* ModuleSymbol(HMODULE module, const char* name) {
  void* handle = nullptr;
  if (module == ProgramModule()) {
    handle = dlopen(nullptr, RTLD_NOW);
  } else {
    Dl_info info{};
    if (dladdr(module, &info) == 0 || info.dli_fbase != module || !info.dli_fname) return nullptr;
    // Only a library already loaded: this takes a passing reference, dropped below.
    handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  }
  if (!handle) return nullptr;
  void* symbol = LibrarySymbol(handle, name);
  dlclose(handle);
  return symbol;
}

}  // namespace qv::com

// Modules: loading libraries, finding a module from an address, its file, and its functions.
#include "LibraryLoader.h"

#include <windows.h>
#include <qv/utf.h>

#include <dlfcn.h>

#include <cstdint>
#include <map>
#include <mutex>

namespace {

using qv::com::ModulePath;
using qv::com::ProgramModule;

// References taken through LoadLibrary or GetModuleHandleEx, one dlopen reference each, so
// that FreeLibrary drops exactly the references the callers took and never one the loader
// holds for a library's dependants.
class ModuleReferences {
 public:
  static ModuleReferences& Instance() {
    static ModuleReferences references;
    return references;
  }

  void Add(HMODULE module, void* handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry& entry = entries_[module];
    entry.handle = handle;
    ++entry.count;
  }

  // The handle to close for one reference to `module`, or null if no caller holds one.
  void* Take(HMODULE module) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = entries_.find(module);
    if (found == entries_.end()) return nullptr;
    void* handle = found->second.handle;
    if (--found->second.count == 0) entries_.erase(found);
    return handle;
  }

 private:
  struct Entry {
    void* handle = nullptr;
    unsigned long count = 0;
  };
  std::mutex mutex_;
  std::map<HMODULE, Entry> entries_;
};

HMODULE Load(const std::string& name) {
  qv::com::OpenedLibrary library = qv::com::OpenLibrary(name, RTLD_NOW | RTLD_LOCAL);
  if (!library.handle) {
    SetLastError(library.missing ? ERROR_MOD_NOT_FOUND : ERROR_BAD_FORMAT);
    return nullptr;
  }
  HMODULE module = qv::com::ModuleOfHandle(library.handle);
  ModuleReferences::Instance().Add(module, library.handle);
  return module;
}

// One more reference to a loaded module, as GetModuleHandleEx takes unless told not to.
void AddReference(HMODULE module) {
  if (module == ProgramModule()) return;  // the program is never unloaded
  Dl_info info{};
  if (dladdr(module, &info) == 0 || !info.dli_fname) return;
  void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (handle) ModuleReferences::Instance().Add(module, handle);
}

HMODULE FindLoaded(LPCWSTR name) {
  if (!name) return ProgramModule();
  qv::com::OpenedLibrary library = qv::com::OpenLibrary(qv::ToUtf8(name), RTLD_NOW | RTLD_NOLOAD);
  if (!library.handle) return nullptr;
  HMODULE module = qv::com::ModuleOfHandle(library.handle);
  dlclose(library.handle);
  return module;
}

}  // namespace

extern "C" {

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
  if (!phModule) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phModule = nullptr;
  try {
    HMODULE module = (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)
                         ? qv::com::ModuleContaining(lpModuleName)
                         : FindLoaded(lpModuleName);
    if (!module) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) AddReference(module);
    *phModule = module;
    return TRUE;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
}

// On a short buffer the name is cut to nSize - 1 characters and terminated, the result is
// nSize and the last error ERROR_INSUFFICIENT_BUFFER, as on Windows.
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  try {
    std::string path = ModulePath(hModule);
    if (path.empty()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    if (!lpFilename && nSize > 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    std::u16string wide = qv::ToUtf16(path);
    if (wide.size() < nSize) {
      wide.copy(lpFilename, wide.size());
      lpFilename[wide.size()] = 0;
      return static_cast<DWORD>(wide.size());
    }
    if (nSize > 0) {
      wide.copy(lpFilename, nSize - 1);
      lpFilename[nSize - 1] = 0;
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (!lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    return Load(qv::ToUtf8(lpLibFileName));
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    return Load(lpLibFileName);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Small values are export ordinals, which these libraries do not have.
  if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  if (!hModule) hModule = ProgramModule();
  void* symbol = qv::com::ModuleSymbol(hModule, lpProcName);
  if (!symbol)
    SetLastError(qv::com::ModuleContaining(hModule) == hModule ? ERROR_PROC_NOT_FOUND
                                                               : ERROR_MOD_NOT_FOUND);
  return symbol;
}

// Drops one reference that LoadLibrary or GetModuleHandleEx took; a library is unloaded when
// the last reference to it goes.
BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  try {
    void* handle = ModuleReferences::Instance().Take(hLibModule);
    if (handle) {
      dlclose(handle);  // outside the table's lock: the library's destructors may call back
      return TRUE;
    }
  } catch (...) {
  }
  if (hLibModule && qv::com::ModuleContaining(hLibModule) == hLibModule) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

}  // extern "C"

#include "ServerTable.h"

#include "LibraryLoader.h"

#include <dlfcn.h>

namespace qv::com {

ServerTable& ServerTable::Instance() {
  static ServerTable table;
  return table;
}

HRESULT ServerTable::ClassObjectEntry(const std::string& path, LPFNGETCLASSOBJECT& entry) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto found = entries_.find(path);
  if (found != entries_.end()) {
    entry = found->second;
    return S_OK;
  }
  OpenedLibrary library = OpenLibrary(path, RTLD_NOW | RTLD_LOCAL);
  if (!library.handle)
    return library.missing ? HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) : CO_E_ERRORINDLL;
  void* symbol = LibrarySymbol(library.handle, "DllGetClassObject");
  if (!symbol) {
    dlclose(library.handle);  // not a server: nothing of it is in use
    return CO_E_ERRORINDLL;
  }
  // The handle is deliberately never closed: the server stays for the process.
  entry = reinterpret_cast<LPFNGETCLASSOBJECT>(symbol);
  entries_.emplace(path, entry);
  return S_OK;
}

}  // namespace qv::com

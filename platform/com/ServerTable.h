// The in-process servers loaded in this process. A server, once loaded, stays loaded until the
// process ends: objects it made may be alive anywhere, and Windows keeps servers loaded the
// same way until they are asked whether they can be unloaded.
#pragma once
#include <objbase.h>

#include <map>
#include <mutex>
#include <string>

namespace qv::com {

class ServerTable {
 public:
  static ServerTable& Instance();

  // The DllGetClassObject of the server library named `path`, loading the library on first
  // use. Fails with HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) when there is no such file, and
  // CO_E_ERRORINDLL when the file cannot be loaded or exports no DllGetClassObject.
  HRESULT ClassObjectEntry(const std::string& path, LPFNGETCLASSOBJECT& entry);

 private:
  ServerTable() = default;
  // Recursive: loading runs the server's static constructors, which may create objects too.
  std::recursive_mutex mutex_;
  std::map<std::string, LPFNGETCLASSOBJECT> entries_;
};

}  // namespace qv::com

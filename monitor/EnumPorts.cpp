// EnumPorts: the monitor's ports are the subkeys of its registry root, listed afresh on every
// call; nothing is cached.
#include "EntryPoint.h"
#include "ErrorHandler.h"
#include "Monitor.h"

#include <cstdint>
#include <cstring>
#include <vector>
#include "win/UniqueResource.h"
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

namespace {

constexpr DWORD kNameSize = 261;  // wide characters, terminator included

// The subkey names in the registry's order. A name too long for the buffer (no port can have
// one; an older registry may hold such a key) is skipped, so the ports after it still show;
// any other enumeration that does not succeed ends the list.
std::vector<win::WideString> PortNames(HKEY root) {
  std::vector<win::WideString> names;
  for (DWORD index = 0;; ++index) {
    WCHAR name[kNameSize] = {};
    const LSTATUS status = RegEnumKeyW(root, index, name, kNameSize);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return names;
    names.emplace_back(name);
  }
}

// The monitor's key below HKEY_LOCAL_MACHINE. An empty root (not initialised, or initialised
// with none) names no key: opening it would open HKEY_LOCAL_MACHINE itself, whose subkeys are
// not ports.
LSTATUS OpenRoot(win::UniqueHKey& root) {
  if (RegistryRoot.empty()) return ERROR_BAD_PATHNAME;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, RegistryRoot.c_str(), 0, KEY_ALL_ACCESS, root.Out());
}

uint64_t StringBytes(const win::WideString& text) { return (text.size() + 1) * sizeof(WCHAR); }

// Entries at the front of the buffer; strings packed downwards from its end: MonitorName in
// the last bytes, PortDescription below it, then the port names, the first nearest to it.
class PortInfoPacker {
 public:
  PortInfoPacker(const std::vector<win::WideString>& names, DWORD level)
      : names_(names), levelOne_(level == 1) {}

  uint64_t Needed() const {
    uint64_t size = StringBytes(MonitorName) + StringBytes(PortDescription);
    for (const win::WideString& name : names_) size += EntrySize() + StringBytes(name);
    return size;
  }

  // The buffer holds at least Needed() bytes.
  void Fill(LPBYTE buffer, DWORD cbBuf) const {
    LPBYTE end = buffer + cbBuf;
    // Wide strings on an even address, when the buffer has the byte to spare.
    if ((reinterpret_cast<uintptr_t>(end) & 1) && cbBuf > Needed()) --end;
    LPWSTR monitor = Put(end, MonitorName);
    LPWSTR description = Put(end, PortDescription);
    for (size_t i = 0; i < names_.size(); ++i) {
      LPWSTR name = Put(end, names_[i]);
      LPBYTE entry = buffer + i * EntrySize();
      if (levelOne_) {
        const PORT_INFO_1W info{name};
        std::memcpy(entry, &info, sizeof info);
      } else {
        const PORT_INFO_2W info{name, monitor, description, PORT_TYPE_WRITE, 0};
        std::memcpy(entry, &info, sizeof info);
      }
    }
  }

 private:
  size_t EntrySize() const { return levelOne_ ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W); }

  // Copies `text` with its terminator just below `end` and moves `end` down to it.
  static LPWSTR Put(LPBYTE& end, const win::WideString& text) {
    end -= StringBytes(text);
    std::memcpy(end, text.c_str(), StringBytes(text));
    return reinterpret_cast<LPWSTR>(end);
  }

  const std::vector<win::WideString>& names_;
  bool levelOne_;
};

}  // namespace

BOOL WINAPI LocalEnumPorts(LPWSTR, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                           LPDWORD pcReturned) {
  return RunEntryPoint([&] {
    MonitorLock::Guard guard(Lock);
    if (!pcbNeeded || !pcReturned) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    *pcReturned = 0;
    win::UniqueHKey root;
    if (const LSTATUS status = OpenRoot(root)) {
      ErrorHandler(status, WSTR("LocalEnumPorts"), false, nullptr);
      *pcbNeeded = 0;
      return TRUE;
    }
    const std::vector<win::WideString> names = PortNames(root.Get());
    const PortInfoPacker packer(names, Level);
    const uint64_t needed = packer.Needed();
    if (needed > UINT32_MAX) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FALSE;
    }
    *pcbNeeded = static_cast<DWORD>(needed);
    if (needed > cbBuf || !pPorts) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    packer.Fill(pPorts, cbBuf);
    *pcReturned = static_cast<DWORD>(names.size());
    return TRUE;
  });
}

}  // namespace Quorvane

// The registry calls. Each call is one transaction on the store; names and 8-bit text are
// UTF-8 inside, string data is kept in the UTF-16 form the wide calls use. Registry calls
// report through their status and leave the thread's last error alone, as Windows does.
#include "HandleTable.h"
#include "KeyTree.h"
#include "NameFold.h"
#include "Store.h"
#include "ValueText.h"

#include <qv/lock_file.h>
#include <qv/registry_store.h>
#include <qv/utf.h>
#include <winreg.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace qv::registry {
namespace {

constexpr uint32_t kClassesRoot = 0x80000000u;
constexpr uint32_t kLocalMachine = 0x80000002u;

// Where a handle points: a key of the store, and for HKEY_CLASSES_ROOT the path below it.
struct Origin {
  int64_t key = 0;
  bool predefined = false;
  std::vector<std::string> path;
};

LSTATUS ResolveHandle(HKEY handle, Origin& origin) {
  std::optional<uint32_t> number = HandleTable::Number(handle);
  if (!number || *number == 0) return ERROR_INVALID_HANDLE;
  if (*number == kLocalMachine) {
    origin = {kRootKeyId, true, {}};
    return ERROR_SUCCESS;
  }
  if (*number == kClassesRoot) {
    origin = {kRootKeyId, true, {"SOFTWARE", "Classes"}};
    return ERROR_SUCCESS;
  }
  // HKEY_CURRENT_USER, HKEY_USERS and the other roots have no store here.
  if (*number >= 0x80000000u) return ERROR_INVALID_HANDLE;
  std::optional<int64_t> key = HandleTable::Instance().Find(handle);
  if (!key) return ERROR_INVALID_HANDLE;
  origin = {*key, false, {}};
  return ERROR_SUCCESS;
}

// Runs one call's work, turning anything thrown into its status: nothing crosses the C entry.
template <class Work>
LSTATUS Guarded(Work&& work) noexcept {
  try {
    return work();
  } catch (const StoreError& error) {
    return error.Status();
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    return ERROR_REGISTRY_IO_FAILED;
  }
}

std::vector<std::string> Join(const Origin& origin, const std::vector<std::string>& sub) {
  std::vector<std::string> path = origin.path;
  path.insert(path.end(), sub.begin(), sub.end());
  return path;
}

LSTATUS CheckOrigin(KeyTree& tree, const Origin& origin) {
  return origin.predefined || tree.Exists(origin.key) ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// The key `sub` names below the handle's key, inside an open transaction.
LSTATUS Locate(KeyTree& tree, const Origin& origin, const std::vector<std::string>& sub, int64_t& key) {
  if (LSTATUS status = CheckOrigin(tree, origin)) return status;
  std::optional<int64_t> found = tree.Walk(origin.key, Join(origin, sub));
  if (!found) return ERROR_FILE_NOT_FOUND;
  key = *found;
  return ERROR_SUCCESS;
}

// Runs read (write = false) or write work on the handle's key and `sub` below it.
template <class Work>
LSTATUS WithKey(HKEY handle, const std::vector<std::string>& sub, bool write, Work&& work) {
  Origin origin;
  if (LSTATUS status = ResolveHandle(handle, origin)) return status;
  return Store::Instance().Use([&](Database& db) -> LSTATUS {
    Transaction transaction(db, write);
    KeyTree tree(db);
    int64_t key = 0;
    if (LSTATUS status = Locate(tree, origin, sub, key)) return status;
    LSTATUS status = work(tree, key);
    if (status == ERROR_SUCCESS) transaction.Commit();
    return status;
  });
}

using ExtraReads = std::vector<std::pair<std::string, CachedRead>>;

// This thread's RegistryReadsOfOneJob: how deep, and whether (and after how many cross-process
// locks) it has looked for other processes' commits.
struct OneJob {
  unsigned depth = 0;
  bool looked = false;
  uint64_t locksSeen = 0;
};
thread_local OneJob oneJob;
std::atomic<uint64_t> commitLooks{0};

// Whether this read must look for other processes' commits first: always, except inside a job
// that looked already and has taken no cross-process lock since.
bool MustLookForCommits() {
  if (oneJob.depth == 0) return true;
  const uint64_t locks = qv::LockFile::Acquisitions();
  if (oneJob.looked && oneJob.locksSeen == locks) return false;
  oneJob.looked = true;
  oneJob.locksSeen = locks;
  return true;
}

// The cache's name for a read: its kind, the key it starts from and the path below it.
std::string ReadId(const std::string& what, int64_t start, const std::vector<std::string>& path) {
  std::string id = what;
  id += '\x01' + std::to_string(start);
  for (const std::string& element : path) id += '\x01' + FoldName(element);
  return id;
}

// How many values an opened key may have for all of them to be read with it.
constexpr size_t kPrefetchValues = 64;

// Runs a read through the connection's cache: `fill` makes the read inside a transaction and
// records its result, and may record reads it made on the way (`extra`, named as reads of an
// opened key); a repeat while the store is unchanged is answered from the cache. `known`, when
// given, names an entry saying every value of the key was read: a value missing then is absent.
template <class Fill>
LSTATUS CachedKeyRead(HKEY handle, const std::vector<std::string>& sub, const std::string& what, bool valueRead,
                      CachedRead& result, Fill&& fill, const char* known = nullptr) {
  Origin origin;
  if (LSTATUS status = ResolveHandle(handle, origin)) return status;
  return Store::Instance().Use([&](Database& db) -> LSTATUS {
    std::string id = ReadId(what, origin.key, Join(origin, sub));
    ReadCache& cache = db.Reads();
    if (MustLookForCommits()) {
      commitLooks.fetch_add(1, std::memory_order_relaxed);
      cache.Check(db.DataVersion());
    }
    if (const CachedRead* cached = cache.Find(id)) {
      result = *cached;
      return result.status;
    }
    if (known && sub.empty() && origin.path.empty() && cache.Find(ReadId(known, origin.key, {}))) {
      result = CachedRead{};
      result.status = ERROR_FILE_NOT_FOUND;
      return result.status;
    }
    Transaction transaction(db, false);
    KeyTree tree(db);
    CachedRead read;
    read.valueRead = valueRead;
    ExtraReads extra;
    int64_t key = 0;
    read.status = Locate(tree, origin, sub, key);
    if (read.status == ERROR_SUCCESS) {
      read.key = key;
      read.status = fill(tree, key, read, extra);
    }
    transaction.Commit();
    // Only what the store said is remembered; a failure of the store itself is not.
    if (read.status == ERROR_SUCCESS || read.status == ERROR_FILE_NOT_FOUND || read.status == ERROR_NO_MORE_ITEMS ||
        read.status == ERROR_KEY_DELETED)
      cache.Remember(id, read);
    for (auto& [extraId, extraRead] : extra) cache.Remember(extraId, std::move(extraRead));
    result = std::move(read);
    return result.status;
  });
}

CachedRead ValueOf(int64_t key, ValueRecord&& value) {
  CachedRead read;
  read.key = key;
  read.valueRead = true;
  read.name = std::move(value.name);
  read.type = value.type;
  read.data = std::move(value.data);
  return read;
}

// A write's effect on what the connection remembers.
void ValuesChanged(int64_t key) {
  Store::Instance().Use([&](Database& db) {
    db.Reads().ValuesChanged(key);
    return 0;
  });
}

void KeysChanged() {
  Store::Instance().Use([&](Database& db) {
    db.Reads().Clear();
    return 0;
  });
}

LSTATUS OpenKey(HKEY handle, std::string_view subKey, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::string> sub;
  if (LSTATUS status = SplitKeyPath(subKey, sub)) return status;
  CachedRead read;
  LSTATUS status = CachedKeyRead(handle, sub, "open", false, read,
                                 [](KeyTree& tree, int64_t key, CachedRead& out, ExtraReads& extra) -> LSTATUS {
    out.openedKey = key;
    // A key is opened to read its values: a small key's values come with it.
    std::vector<ValueRecord> values = tree.Values(key);
    if (values.size() > kPrefetchValues) return ERROR_SUCCESS;
    for (ValueRecord& value : values) {
      std::string id = ReadId("value\x01" + FoldName(value.name), key, {});
      extra.emplace_back(std::move(id), ValueOf(key, std::move(value)));
    }
    CachedRead all;
    all.key = key;
    all.valueRead = true;
    extra.emplace_back(ReadId("allvalues", key, {}), std::move(all));
    return ERROR_SUCCESS;
  });
  if (status == ERROR_SUCCESS) *result = HandleTable::Instance().Add(read.openedKey);
  return status;
}

LSTATUS CreateKey(HKEY handle, std::string_view subKey, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::string> sub;
  if (LSTATUS status = SplitKeyPath(subKey, sub)) return status;
  if (LSTATUS status = CheckNewKeyPath(sub)) return status;
  Origin origin;
  if (LSTATUS status = ResolveHandle(handle, origin)) return status;
  int64_t key = 0;
  bool created = false;
  LSTATUS status = Store::Instance().Use([&](Database& db) -> LSTATUS {
    Transaction transaction(db, true);
    KeyTree tree(db);
    if (LSTATUS status = CheckOrigin(tree, origin)) return status;
    const std::vector<std::string> path = Join(origin, sub);
    // Refused before anything is created: a key nested deeper than the limit.
    if (path.size() > kMaxKeyDepth || tree.Depth(origin.key) + path.size() > kMaxKeyDepth) return ERROR_BADKEY;
    key = tree.WalkCreating(origin.key, path, created);
    transaction.Commit();
    if (created) db.Reads().Clear();
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) return status;
  *result = HandleTable::Instance().Add(key);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LSTATUS DeleteKey(HKEY handle, std::string_view subKey) {
  std::vector<std::string> sub;
  if (LSTATUS status = SplitKeyPath(subKey, sub)) return status;
  Origin origin;
  if (LSTATUS status = ResolveHandle(handle, origin)) return status;
  if (origin.predefined && sub.empty()) return ERROR_ACCESS_DENIED;  // a root can't go
  LSTATUS status = WithKey(handle, sub, true, [](KeyTree& tree, int64_t key) -> LSTATUS {
    if (key == kRootKeyId || tree.HasChildren(key)) return ERROR_ACCESS_DENIED;
    tree.RemoveKey(key);
    return ERROR_SUCCESS;
  });
  KeysChanged();
  return status;
}

void TakeValue(CachedRead& out, ValueRecord&& value) {
  out.name = std::move(value.name);
  out.type = value.type;
  out.data = std::move(value.data);
}

LSTATUS QueryValue(HKEY handle, const std::string& name, ValueRecord& value) {
  CachedRead read;
  LSTATUS status = CachedKeyRead(handle, {}, "value\x01" + FoldName(name), true, read,
                                 [&](KeyTree& tree, int64_t key, CachedRead& out, ExtraReads&) -> LSTATUS {
                                   std::optional<ValueRecord> found = tree.GetValue(key, name);
                                   if (!found) return ERROR_FILE_NOT_FOUND;
                                   TakeValue(out, std::move(*found));
                                   return ERROR_SUCCESS;
                                 }, "allvalues");
  if (status == ERROR_SUCCESS) value = {read.name, read.type, read.data};
  return status;
}

LSTATUS SetValue(HKEY handle, const std::string& name, DWORD type, const std::string& data) {
  int64_t changed = 0;
  LSTATUS status = WithKey(handle, {}, true, [&](KeyTree& tree, int64_t key) -> LSTATUS {
    tree.SetValue(key, name, type, data);
    changed = key;
    return ERROR_SUCCESS;
  });
  if (changed) ValuesChanged(changed);
  return status;
}

LSTATUS DeleteValue(HKEY handle, const std::string& name) {
  int64_t changed = 0;
  LSTATUS status = WithKey(handle, {}, true, [&](KeyTree& tree, int64_t key) -> LSTATUS {
    changed = key;
    return tree.DeleteValue(key, name) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
  if (changed) ValuesChanged(changed);
  return status;
}

LSTATUS EnumKey(HKEY handle, DWORD index, std::string& name) {
  CachedRead read;
  LSTATUS status = CachedKeyRead(handle, {}, "subkey\x01" + std::to_string(index), false, read,
                                 [&](KeyTree& tree, int64_t key, CachedRead& out, ExtraReads& extra) -> LSTATUS {
                                   // An enumeration asks for every index in turn: the whole list is
                                   // read at its first step.
                                   std::vector<std::string> children = tree.Children(key);
                                   for (size_t i = 0; i <= children.size(); ++i) {
                                     CachedRead step;
                                     step.key = key;
                                     step.status = i < children.size() ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS;
                                     if (i < children.size()) step.name = children[i];
                                     extra.emplace_back(ReadId("subkey\x01" + std::to_string(i), key, {}), std::move(step));
                                   }
                                   if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
                                   out.name = children[index];
                                   return ERROR_SUCCESS;
                                 });
  if (status == ERROR_SUCCESS) name = read.name;
  return status;
}

LSTATUS EnumValue(HKEY handle, DWORD index, ValueRecord& value) {
  CachedRead read;
  LSTATUS status = CachedKeyRead(handle, {}, "valueat\x01" + std::to_string(index), true, read,
                                 [&](KeyTree& tree, int64_t key, CachedRead& out, ExtraReads&) -> LSTATUS {
                                   std::optional<ValueRecord> found = tree.ValueAt(key, index);
                                   if (!found) return ERROR_NO_MORE_ITEMS;
                                   TakeValue(out, std::move(*found));
                                   return ERROR_SUCCESS;
                                 });
  if (status == ERROR_SUCCESS) value = {read.name, read.type, read.data};
  return status;
}

// Hands value data to the caller as RegQueryValueEx does: the size alone without a buffer,
// ERROR_MORE_DATA and the size needed for a short buffer.
LSTATUS Deliver(DWORD type, std::string_view data, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpType) *lpType = type;
  if (!lpcbData) return ERROR_SUCCESS;
  DWORD needed = static_cast<DWORD>(data.size());
  if (lpData && *lpcbData < needed) {
    *lpcbData = needed;
    return ERROR_MORE_DATA;
  }
  if (lpData && needed) std::memcpy(lpData, data.data(), needed);
  *lpcbData = needed;
  return ERROR_SUCCESS;
}

// Copies a name into a caller's buffer of `capacity` characters, terminator included.
LSTATUS DeliverName(const std::string& name, LPWSTR buffer, DWORD capacity, DWORD* length) {
  std::u16string wide = qv::ToUtf16(name);
  if (wide.size() + 1 > capacity) return ERROR_MORE_DATA;
  std::memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  if (length) *length = static_cast<DWORD>(wide.size());
  return ERROR_SUCCESS;
}

std::string DataBytes(const BYTE* data, DWORD size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace
}  // namespace qv::registry

using namespace qv::registry;

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  return Guarded([&]() -> LSTATUS { return OpenKey(hKey, NameFromAnsi(lpSubKey), phkResult); });
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  return Guarded([&]() -> LSTATUS { return OpenKey(hKey, NameFromWide(lpSubKey), phkResult); });
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM,
                               LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS { return CreateKey(hKey, NameFromAnsi(lpSubKey), phkResult, lpdwDisposition); });
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM,
                               LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS { return CreateKey(hKey, NameFromWide(lpSubKey), phkResult, lpdwDisposition); });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  return Guarded([&]() -> LSTATUS {
    std::optional<uint32_t> number = HandleTable::Number(hKey);
    if (number && (*number == kLocalMachine || *number == kClassesRoot)) return ERROR_SUCCESS;
    return HandleTable::Instance().Remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  });
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    ValueRecord value;
    if (LSTATUS status = QueryValue(hKey, NameFromAnsi(lpValueName), value)) return status;
    if (IsStringType(value.type)) value.data = AnsiFromStored(value.data);
    return Deliver(value.type, value.data, lpType, lpData, lpcbData);
  });
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    ValueRecord value;
    if (LSTATUS status = QueryValue(hKey, NameFromWide(lpValueName), value)) return status;
    return Deliver(value.type, value.data, lpType, lpData, lpcbData);
  });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    std::string data = DataBytes(lpData, cbData);
    if (IsStringType(dwType)) data = StoredFromAnsi(data);
    return SetValue(hKey, NameFromAnsi(lpValueName), dwType, data);
  });
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS { return SetValue(hKey, NameFromWide(lpValueName), dwType, DataBytes(lpData, cbData)); });
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS { return DeleteKey(hKey, NameFromAnsi(lpSubKey)); });
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS { return DeleteKey(hKey, NameFromWide(lpSubKey)); });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return Guarded([&]() -> LSTATUS { return DeleteValue(hKey, NameFromAnsi(lpValueName)); });
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return Guarded([&]() -> LSTATUS { return DeleteValue(hKey, NameFromWide(lpValueName)); });
}

LSTATUS WINAPI RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) {
  if (!lpName) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    std::string name;
    if (LSTATUS status = EnumKey(hKey, dwIndex, name)) return status;
    return DeliverName(name, lpName, cchName, nullptr);
  });
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    std::string name;
    if (LSTATUS status = EnumKey(hKey, dwIndex, name)) return status;
    if (LSTATUS status = DeliverName(name, lpName, *lpcchName, lpcchName)) return status;
    // Keys have no class names here; the last write time is not kept.
    if (lpClass && lpcchClass && *lpcchClass) *lpClass = u'\0';
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  return Guarded([&]() -> LSTATUS {
    ValueRecord value;
    if (LSTATUS status = EnumValue(hKey, dwIndex, value)) return status;
    if (LSTATUS status = DeliverName(value.name, lpValueName, *lpcchValueName, lpcchValueName)) return status;
    return Deliver(value.type, value.data, lpType, lpData, lpcbData);
  });
}

}  // extern "C"

LSTATUS qv::ReadRegistryValues(const std::string& path, std::vector<RegistryValue>& values) {
  return Guarded([&]() -> LSTATUS {
    values.clear();
    std::vector<std::string> sub;
    if (LSTATUS status = SplitKeyPath(path, sub)) return status;
    CachedRead read;
    LSTATUS status = CachedKeyRead(HKEY_LOCAL_MACHINE, sub, "values", true, read,
                                   [&](KeyTree& tree, int64_t key, CachedRead& out, ExtraReads&) -> LSTATUS {
                                     for (ValueRecord& value : tree.Values(key))
                                       out.values.push_back({std::move(value.name), value.type, std::move(value.data)});
                                     return ERROR_SUCCESS;
                                   });
    if (status == ERROR_SUCCESS) values = std::move(read.values);
    return status;
  });
}

LSTATUS qv::ReadRegistryValue(HKEY root, const std::string& path, const std::string& name, RegistryValue& value) {
  return Guarded([&]() -> LSTATUS {
    std::vector<std::string> sub;
    if (LSTATUS status = SplitKeyPath(path, sub)) return status;
    CachedRead read;
    LSTATUS status = CachedKeyRead(root, sub, "value\x01" + FoldName(name), true, read,
                                   [&](KeyTree& tree, int64_t key, CachedRead& out, ExtraReads&) -> LSTATUS {
                                     std::optional<ValueRecord> found = tree.GetValue(key, name);
                                     if (!found) return ERROR_FILE_NOT_FOUND;
                                     TakeValue(out, std::move(*found));
                                     return ERROR_SUCCESS;
                                   });
    if (status == ERROR_SUCCESS) value = {read.name, read.type, read.data};
    return status;
  });
}

LSTATUS qv::ReadRegistrySubKeys(const std::string& path, std::vector<std::string>& names) {
  return Guarded([&]() -> LSTATUS {
    names.clear();
    std::vector<std::string> sub;
    if (LSTATUS status = SplitKeyPath(path, sub)) return status;
    CachedRead read;
    LSTATUS status = CachedKeyRead(HKEY_LOCAL_MACHINE, sub, "subkeys", false, read,
                                   [&](KeyTree& tree, int64_t key, CachedRead& out, ExtraReads&) -> LSTATUS {
                                     for (std::string& child : tree.Children(key))
                                       out.values.push_back({std::move(child), 0, {}});
                                     return ERROR_SUCCESS;
                                   });
    if (status == ERROR_SUCCESS)
      for (RegistryValue& child : read.values) names.push_back(std::move(child.name));
    return status;
  });
}

// Each one begun is a job boundary: its first read looks, even inside another one.
qv::RegistryReadsOfOneJob::RegistryReadsOfOneJob() noexcept {
  ++oneJob.depth;
  oneJob.looked = false;
}

qv::RegistryReadsOfOneJob::~RegistryReadsOfOneJob() { --oneJob.depth; }

uint64_t qv::RegistryCommitLookCount() { return commitLooks.load(std::memory_order_relaxed); }

bool qv::RegistryText(const RegistryValue& value, std::u16string& text) {
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return false;
  text.assign(value.data.size() / sizeof(char16_t), u'\0');
  std::memcpy(text.data(), value.data.data(), text.size() * sizeof(char16_t));
  text.resize(std::min(text.size(), text.find(u'\0')));
  return true;
}

LSTATUS qv::WriteRegistryValue(const std::string& path, const std::string& name, DWORD type, const std::string& data) {
  return UpdateRegistryValue(path, name, [&](const RegistryValue*, RegistryValue& updated) {
    updated.type = type;
    updated.data = data;
  });
}

LSTATUS qv::UpdateRegistryValue(const std::string& path, const std::string& name,
                                const std::function<void(const RegistryValue*, RegistryValue&)>& update) {
  return Guarded([&]() -> LSTATUS {
    std::vector<std::string> sub;
    if (LSTATUS status = SplitKeyPath(path, sub)) return status;
    Origin origin;
    if (LSTATUS status = ResolveHandle(HKEY_LOCAL_MACHINE, origin)) return status;
    return Store::Instance().Use([&](Database& db) -> LSTATUS {
      Transaction transaction(db, true);  // the write lock is taken before the read
      KeyTree tree(db);
      bool created = false;
      int64_t key = tree.WalkCreating(origin.key, Join(origin, sub), created);
      std::optional<RegistryValue> current;
      if (std::optional<ValueRecord> found = tree.GetValue(key, name))
        current = RegistryValue{std::move(found->name), found->type, std::move(found->data)};
      RegistryValue updated{name, REG_NONE, {}};
      update(current ? &*current : nullptr, updated);
      tree.SetValue(key, name, updated.type, updated.data);
      transaction.Commit();
      if (created)
        db.Reads().Clear();
      else
        db.Reads().ValuesChanged(key);
      return ERROR_SUCCESS;
    });
  });
}

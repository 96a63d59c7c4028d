#include "SyncHandles.h"

#include <map>
#include <mutex>

namespace qv::sync {

namespace {

// What a handle points to. The handle's value is this record's address; it is only ever
// looked up in the table, never dereferenced unchecked.
struct HandleRecord {
  std::shared_ptr<MutexObject> mutex;
};

struct HandleTable {
  std::mutex lock;
  std::map<HandleRecord*, std::unique_ptr<HandleRecord>> handles;
  std::map<std::string, std::weak_ptr<MutexObject>> named;
};

// Never destroyed: handles may be closed by other libraries' destructors at exit.
HandleTable& Table() {
  static HandleTable* table = new HandleTable;
  return *table;
}

}  // namespace

HANDLE OpenMutexHandle(const std::string& name, bool& existed) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  std::erase_if(table.named, [](const auto& entry) { return entry.second.expired(); });
  std::shared_ptr<MutexObject> mutex;
  if (!name.empty()) {
    auto found = table.named.find(name);
    if (found != table.named.end()) mutex = found->second.lock();
  }
  existed = mutex != nullptr;
  if (!mutex) {
    mutex = std::make_shared<MutexObject>(name);
    if (!name.empty()) table.named[name] = mutex;
  }
  auto record = std::make_unique<HandleRecord>();
  record->mutex = std::move(mutex);
  HandleRecord* key = record.get();
  table.handles.emplace(key, std::move(record));
  return key;
}

std::shared_ptr<MutexObject> MutexOf(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.handles.find(static_cast<HandleRecord*>(handle));
  return found == table.handles.end() ? nullptr : found->second->mutex;
}

bool CloseMutexHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::shared_ptr<MutexObject> last;  // destroyed after the table's lock is released
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.handles.find(static_cast<HandleRecord*>(handle));
  if (found == table.handles.end()) return false;
  last = std::move(found->second->mutex);
  table.handles.erase(found);
  return true;
}

}  // namespace qv::sync

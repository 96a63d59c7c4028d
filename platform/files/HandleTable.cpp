#include "HandleTable.h"

namespace qv::files {
namespace {

// The handle this thread used last: a file is opened, moved in, written and closed by one
// thread, each call naming the same handle. Held weakly, so a handle closed elsewhere lets its
// object go at once.
struct LastUsed {
  uintptr_t handle = 0;
  std::weak_ptr<KernelObject> object;
  uint64_t removals = 0;
};
thread_local LastUsed lastUsed;

}  // namespace

HandleTable& HandleTable::Instance() {
  // Never destroyed: handles may still be closed from other libraries' static destructors.
  static HandleTable* table = new HandleTable;
  return *table;
}

HANDLE HandleTable::Add(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> lock(mutex_);
  uintptr_t value = next_;
  lastUsed = {value, object, removals_.load(std::memory_order_acquire)};
  objects_.emplace(value, std::move(object));
  next_ += 4;
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> HandleTable::Find(HANDLE handle) const {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  // Nothing removed since this thread's last lookup: the handle still names the same object.
  if (value != 0 && value == lastUsed.handle && lastUsed.removals == removals_.load(std::memory_order_acquire))
    if (std::shared_ptr<KernelObject> object = lastUsed.object.lock()) return object;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = objects_.find(value);
  if (found == objects_.end()) return nullptr;
  lastUsed = {value, found->second, removals_.load(std::memory_order_relaxed)};
  return found->second;
}

bool HandleTable::Remove(HANDLE handle) {
  std::shared_ptr<KernelObject> removed;  // released after the lock, outside the table
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
  if (found == objects_.end()) return false;
  removed = std::move(found->second);
  objects_.erase(found);
  removals_.fetch_add(1, std::memory_order_release);
  if (lastUsed.handle == reinterpret_cast<uintptr_t>(handle)) lastUsed = {};
  return true;
}

}  // namespace qv::files

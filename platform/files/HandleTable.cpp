#include "HandleTable.h"

namespace qv::files {

HandleTable& HandleTable::Instance() {
  // Never destroyed: handles may still be closed from other libraries' static destructors.
  static HandleTable* table = new HandleTable;
  return *table;
}

HANDLE HandleTable::Add(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> lock(mutex_);
  uintptr_t value = next_;
  objects_.emplace(value, std::move(object));
  next_ += 4;
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> HandleTable::Find(HANDLE handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
  return found == objects_.end() ? nullptr : found->second;
}

bool HandleTable::Remove(HANDLE handle) {
  std::shared_ptr<KernelObject> removed;  // released after the lock, outside the table
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
  if (found == objects_.end()) return false;
  removed = std::move(found->second);
  objects_.erase(found);
  return true;
}

}  // namespace qv::files

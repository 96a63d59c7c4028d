#include "HandleTable.h"

#include <new>

namespace qv::registry {

HandleTable& HandleTable::Instance() {
  static HandleTable* table = new HandleTable;  // outlives every static destructor
  return *table;
}

HKEY HandleTable::Add(int64_t keyId) {
  std::lock_guard lock(mutex_);
  if (keys_.size() >= (kLast - kFirst) / 4) throw std::bad_alloc();
  // Numbers are handed out in sequence and reused only after wrapping, so a closed handle
  // used again is very unlikely to name someone else's key.
  while (keys_.count(next_)) next_ = next_ >= kLast ? kFirst : next_ + 4;
  uint32_t number = next_;
  next_ = next_ >= kLast ? kFirst : next_ + 4;
  keys_.emplace(number, keyId);
  return reinterpret_cast<HKEY>(static_cast<uintptr_t>(number));
}

std::optional<int64_t> HandleTable::Find(HKEY handle) {
  std::optional<uint32_t> number = Number(handle);
  if (!number) return std::nullopt;
  std::lock_guard lock(mutex_);
  auto found = keys_.find(*number);
  if (found == keys_.end()) return std::nullopt;
  return found->second;
}

bool HandleTable::Remove(HKEY handle) {
  std::optional<uint32_t> number = Number(handle);
  if (!number) return false;
  std::lock_guard lock(mutex_);
  return keys_.erase(*number) > 0;
}

void HandleTable::Clear() {
  std::lock_guard lock(mutex_);
  keys_.clear();
}

std::optional<uint32_t> HandleTable::Number(HKEY handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  uint64_t high = static_cast<uint64_t>(value) >> 32;
  uint32_t low = static_cast<uint32_t>(value);
  if (high == 0 || (high == 0xFFFFFFFFu && (low & 0x80000000u))) return low;
  return std::nullopt;
}

}  // namespace qv::registry

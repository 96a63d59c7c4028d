// The process's open keys. A handle is a small number that names an entry here (never a
// pointer), so a stale or forged handle answers ERROR_INVALID_HANDLE instead of touching freed
// memory. Handle values fit in 32 bits and stay clear of the predefined roots (0x80000000 up),
// because callers keep handles in 32-bit fields.
#pragma once
#include <windef.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace qv::registry {

class HandleTable {
 public:
  static HandleTable& Instance();

  HKEY Add(int64_t keyId);
  std::optional<int64_t> Find(HKEY handle);
  bool Remove(HKEY handle);
  void Clear();

  // The handle's value as a 32-bit number, or nothing when it can't be one of ours or a root
  // (a root kept in a 32-bit field and widened without sign still counts).
  static std::optional<uint32_t> Number(HKEY handle);

 private:
  std::mutex mutex_;
  std::unordered_map<uint32_t, int64_t> keys_;
  uint32_t next_ = kFirst;
  static constexpr uint32_t kFirst = 0x100;
  static constexpr uint32_t kLast = 0x7FFFFFF0;
};

}  // namespace qv::registry

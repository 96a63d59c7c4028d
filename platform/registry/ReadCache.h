// What this connection has read from the store, remembered while nobody changed it: another
// connection's commit changes PRAGMA data_version and drops everything; this connection's own
// writes drop what they touch. A job reads the same printer, monitor and class keys many times
// over; each repeat then costs no transaction.
#pragma once
#include <qv/registry_store.h>
#include <windef.h>
#include <winerror.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace qv::registry {

struct CachedRead {
  int64_t key = 0;          // the key read (0 when it was not found)
  bool valueRead = false;   // a value's content, which a write to `key` changes
  LSTATUS status = ERROR_SUCCESS;
  int64_t openedKey = 0;    // OpenKey
  std::string name;         // EnumKey; the value's name for QueryValue, EnumValue
  DWORD type = 0;           // QueryValue, EnumValue
  std::string data;
  std::vector<RegistryValue> values;  // every value of the key
};

class ReadCache {
 public:
  // Forgets everything when the store's data version is not the one the reads were made at.
  void Check(int64_t dataVersion) {
    if (dataVersion != version_) {
      reads_.clear();
      version_ = dataVersion;
    }
  }
  const CachedRead* Find(const std::string& what) const {
    auto found = reads_.find(what);
    return found == reads_.end() ? nullptr : &found->second;
  }
  void Remember(const std::string& what, CachedRead read) {
    if (reads_.size() >= kLimit) reads_.clear();
    reads_[what] = std::move(read);
  }
  // A value of `key` was set or deleted.
  void ValuesChanged(int64_t key) {
    for (auto it = reads_.begin(); it != reads_.end();)
      it = it->second.valueRead && it->second.key == key ? reads_.erase(it) : std::next(it);
  }
  // A key was created or deleted: paths and subkey lists may read otherwise now.
  void Clear() { reads_.clear(); }

 private:
  static constexpr size_t kLimit = 4096;
  int64_t version_ = -1;
  std::unordered_map<std::string, CachedRead> reads_;
};

}  // namespace qv::registry

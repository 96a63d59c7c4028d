// An open registry key that is closed when the owner goes away.
#pragma once
#include <winreg.h>

namespace qv::com {

class OwnedKey {
 public:
  OwnedKey() = default;
  ~OwnedKey() {
    if (key_) RegCloseKey(key_);
  }
  OwnedKey(const OwnedKey&) = delete;
  OwnedKey& operator=(const OwnedKey&) = delete;

  HKEY Get() const { return key_; }
  // Where an opening call stores the handle; any key held before is closed first.
  PHKEY Receive() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
    return &key_;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace qv::com

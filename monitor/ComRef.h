// Owns one reference to a component object and releases it exactly once.
#pragma once
#include <windows.h>

#include <utility>

namespace Quorvane {

template <class Interface>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  // For a creating call's out parameter; drops any reference held before.
  void** Receive() {
    Reset();
    return reinterpret_cast<void**>(&object_);
  }
  void Reset() {
    if (Interface* object = std::exchange(object_, nullptr)) object->Release();
  }
  Interface* get() const { return object_; }
  Interface* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  Interface* object_ = nullptr;
};

}  // namespace Quorvane

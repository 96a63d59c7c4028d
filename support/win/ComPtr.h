// Owns one reference to a component object (in the spirit of ATL's CComPtr) and releases it
// exactly once: when the owner goes, is reset or receives a new object.
#pragma once
#include <windows.h>

#include <utility>

namespace win {

template <class Interface>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller holds (no AddRef).
  explicit ComPtr(Interface* object) noexcept : object_(object) {}
  ~ComPtr() { Reset(); }
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  // For a creating call's out parameter (void** as CoCreateInstance and QueryInterface take it);
  // drops any reference held before.
  void** Out() noexcept {
    Reset();
    return reinterpret_cast<void**>(&object_);
  }
  // The same for a call that takes the interface's own pointer type (LoadTypeLib...).
  Interface** OutInterface() noexcept {
    Reset();
    return &object_;
  }
  // Hands the reference to the caller, who releases it.
  Interface* Detach() noexcept { return std::exchange(object_, nullptr); }
  void Reset() noexcept {
    if (Interface* object = std::exchange(object_, nullptr)) object->Release();
  }
  Interface* Get() const noexcept { return object_; }
  Interface* operator->() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  Interface* object_ = nullptr;
};

}  // namespace win

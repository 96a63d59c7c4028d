// Sole owner of one Windows handle, released exactly once when the owner goes (in the spirit of
// WIL's unique_any): movable, not copyable. `Traits` names the handle type, its release call and
// which values hold nothing.
#pragma once
#include <windows.h>

#include <utility>

namespace win {

template <class Traits>
class UniqueResource {
 public:
  using Handle = typename Traits::Handle;

  UniqueResource() = default;
  explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.Detach()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Handle Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return Traits::Holds(handle_); }

  // Releases what is held and takes `handle` (none by default).
  void Reset(Handle handle = Traits::Empty()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (Traits::Holds(old)) Traits::Release(old);
  }
  // Gives up ownership without releasing; the caller releases.
  Handle Detach() noexcept { return std::exchange(handle_, Traits::Empty()); }
  // For a call that returns a new handle through an out parameter; releases what was held.
  Handle* Out() noexcept {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Empty();
};

// A kernel handle (a file, a mutex...). CreateFile fails with INVALID_HANDLE_VALUE, most other
// calls with null: neither is closed.
struct HandleTraits {
  using Handle = HANDLE;
  static Handle Empty() noexcept { return nullptr; }
  static bool Holds(Handle handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Release(Handle handle) noexcept { CloseHandle(handle); }
};
using UniqueHandle = UniqueResource<HandleTraits>;

// An open registry key. The predefined roots (HKEY_LOCAL_MACHINE...) are never owned here.
struct HKeyTraits {
  using Handle = HKEY;
  static Handle Empty() noexcept { return nullptr; }
  static bool Holds(Handle key) noexcept { return key != nullptr; }
  static void Release(Handle key) noexcept { RegCloseKey(key); }
};
using UniqueHKey = UniqueResource<HKeyTraits>;

}  // namespace win

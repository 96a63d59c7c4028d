// Sole owner of one OLE string (in the spirit of ATL's CComBSTR), freed with SysFreeString when
// the owner goes. Null is a valid, empty string.
#pragma once
#include <windows.h>

#include "win/WideString.h"

#include <new>
#include <utility>

namespace win {

class ComBstr {
 public:
  ComBstr() = default;
  // A copy of `text` (an empty text gives an empty string, never null); throws std::bad_alloc
  // when the string can't be allocated.
  explicit ComBstr(WideStringView text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!value_) throw std::bad_alloc();
  }
  ~ComBstr() { SysFreeString(value_); }
  ComBstr(ComBstr&& other) noexcept : value_(other.Detach()) {}
  ComBstr& operator=(ComBstr&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
  }
  ComBstr(const ComBstr&) = delete;
  ComBstr& operator=(const ComBstr&) = delete;

  BSTR Get() const noexcept { return value_; }
  // For a callee that fills an out parameter; frees what was held.
  BSTR* Out() noexcept {
    Attach(nullptr);
    return &value_;
  }
  // Hands the string to the caller, who frees it.
  BSTR Detach() noexcept { return std::exchange(value_, nullptr); }
  // Takes ownership of `value`, freeing what was held.
  void Attach(BSTR value) noexcept { SysFreeString(std::exchange(value_, value)); }

  // The characters; a null string is empty text.
  WideString ToText() const { return value_ ? WideString(value_, SysStringLen(value_)) : WideString(); }

 private:
  BSTR value_ = nullptr;
};

}  // namespace win

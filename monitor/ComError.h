// A failed call on a component object: its HRESULT and the interface it was called on
// (IID_NULL when the object could not even be created).
#pragma once
#include <windows.h>

#include <exception>

namespace Quorvane {

class ComError : public std::exception {
 public:
  ComError(HRESULT result, const IID& interfaceId) : result_(result), interface_(interfaceId) {}
  HRESULT Result() const { return result_; }
  const IID& Interface() const { return interface_; }
  const char* what() const noexcept override { return "component object call failed"; }

 private:
  HRESULT result_;
  IID interface_;
};

}  // namespace Quorvane

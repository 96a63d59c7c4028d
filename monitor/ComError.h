// A failed call on a component object (or an object that could not be created): its HRESULT.
#pragma once
#include <windows.h>

#include <exception>

namespace Quorvane {

class ComError : public std::exception {
 public:
  explicit ComError(HRESULT result) : result_(result) {}
  HRESULT Result() const { return result_; }
  const char* what() const noexcept override { return "component object call failed"; }

 private:
  HRESULT result_;
};

}  // namespace Quorvane

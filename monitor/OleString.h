// A BSTR made from a wide string, freed when the object goes. An empty string gives an empty
// BSTR, never a null one.
#pragma once
#include <windows.h>

#include <string>
#include "win/WideString.h"

namespace Quorvane {

class OleString {
 public:
  explicit OleString(const win::WideString& text);  // throws std::bad_alloc
  ~OleString();
  OleString(const OleString&) = delete;
  OleString& operator=(const OleString&) = delete;

  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

}  // namespace Quorvane

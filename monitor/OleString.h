// A BSTR made from a wide string, freed when the object goes. An empty string gives an empty
// BSTR, never a null one.
#pragma once
#include <windows.h>

#include <string>

class OleString {
 public:
  explicit OleString(const std::u16string& text);  // throws std::bad_alloc
  ~OleString();
  OleString(const OleString&) = delete;
  OleString& operator=(const OleString&) = delete;

  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

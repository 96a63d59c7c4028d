#include "OleString.h"

#include <new>

OleString::OleString(const std::u16string& text)
    : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
  if (!value_) throw std::bad_alloc();
}

OleString::~OleString() { SysFreeString(value_); }

#include "OleString.h"

#include <new>
#include "win/WideString.h"

namespace Quorvane {

OleString::OleString(const win::WideString& text)
    : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
  if (!value_) throw std::bad_alloc();
}

OleString::~OleString() { SysFreeString(value_); }

}  // namespace Quorvane

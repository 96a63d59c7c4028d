// The type library that the monitor library carries: "MARROWJETLib", "Marrowjet 1.0 Type
// Library", version 1.0, locale 0x409, 32-bit Windows, no types. It is exported as the record
// TypeLibraryResource (qv/typelib_record.h), where LoadTypeLib finds it.
#pragma once
#include <windows.h>

#include <qv/macros.h>
#include <qv/typelib_record.h>

namespace Quorvane {

inline constexpr GUID LIBID_MARROWJETLib = {0x1D47C6CD, 0x6B66, 0x4C3B, {0x81, 0xFA, 0xCB, 0xE4, 0x3B, 0x4A, 0x3D, 0xAA}};

}  // namespace Quorvane

// The library's resources: its type library and its string table. Built into the library
// apart from the code, so that a library without the record can be built from the same code.
#include "TypeLibraryRecord.h"

#include <qv/macros.h>

QV_EXPORT_C const TYPELIBRECORD TypeLibraryResource = {
    sizeof(TYPELIBRECORD), Quorvane::LIBID_MARROWJETLib, 0x409, SYS_WIN32, 1, 0, 0, WSTR("MARROWJETLib"),
    WSTR("Marrowjet 1.0 Type Library")};

namespace {

// The string table: entry 100. Nothing reads it; it names the library to whoever looks inside.
struct StringTableEntry {
  UINT id;
  LPCWSTR text;
};
[[gnu::used]] const StringTableEntry kStringTable[] = {{100, WSTR("Marrowjet")}};

}  // namespace

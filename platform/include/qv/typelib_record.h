// The record by which a library carries its type library: our own form, no Windows name. A
// Windows build carries the type library as its TYPELIB resource instead.
#pragma once
#include <oleauto.h>

// How a library carries its type library (on Windows, the TYPELIB resource with identifier 1):
// it exports one `const TYPELIBRECORD` under the C name `TypeLibraryResource`, e.g.
//
//   extern "C" const TYPELIBRECORD TypeLibraryResource = {
//       sizeof(TYPELIBRECORD), {0x1D47C6CD, ...}, 0x409, SYS_WIN32, 1, 0, 0,
//       WSTR("MARROWJETLib"), WSTR("Marrowjet 1.0 Type Library")};
//
// cbSize is sizeof(TYPELIBRECORD) of the build that wrote the record; a smaller one is refused.
// The strings may be null (none); they are copied when the library is loaded.
typedef struct tagTYPELIBRECORD {
  DWORD cbSize;
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
  LPCOLESTR name;
  LPCOLESTR helpString;
} TYPELIBRECORD;
#define TYPELIBRECORD_SYMBOL "TypeLibraryResource"

extern "C" const TYPELIBRECORD TypeLibraryResource;

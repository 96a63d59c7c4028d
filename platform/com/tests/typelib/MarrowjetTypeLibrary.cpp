// A library that carries a type library the way the monitor library does: an exported record.
#include <oleauto.h>
#include <qv/typelib_record.h>

extern "C" const TYPELIBRECORD TypeLibraryResource = {
    sizeof(TYPELIBRECORD),
    {0x1D47C6CD, 0x6B66, 0x4C3B, {0x81, 0xFA, 0xCB, 0xE4, 0x3B, 0x4A, 0x3D, 0xAA}},
    0x409,
    SYS_WIN32,
    1,
    0,
    0,
    WSTR("MARROWJETLib"),
    WSTR("Marrowjet 1.0 Type Library")};

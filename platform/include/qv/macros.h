// Our own macros for the monitor, the job processor and their support, as the Linux build
// defines them. A Windows build provides the same names its own way: WSTR as L"" s, the export
// macros as __declspec(dllexport).
#pragma once

// The one way to write a wide literal: UTF-16 (char16_t, the WCHAR of this build) here.
#define WSTR(s) u"" s

// A C function exported by name (libraries are built with hidden visibility).
#define QV_EXPORT_C extern "C" __attribute__((visibility("default")))
// A C++ function exported under its decorated name.
#define QV_EXPORT __attribute__((visibility("default")))

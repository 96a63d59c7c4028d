// Our own macros as a Windows build defines them, for compiling the monitor, the job processor
// and their support against real Windows headers (scripts/check-windows-sources).
#pragma once

// WCHAR is wchar_t on Windows: wide literals are L"".
#define WSTR(s) L"" s

#define QV_EXPORT_C extern "C" __declspec(dllexport)
#define QV_EXPORT __declspec(dllexport)

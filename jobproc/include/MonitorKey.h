// The monitor's registry key below HKEY_LOCAL_MACHINE: one subkey per port holding its script,
// and the serial-number counter shared by all ports. Shared with the quorvane command, which
// manages the same ports.
#pragma once
#include <windows.h>
#include <qv/macros.h>

namespace MarrowjetUI {

inline constexpr const WCHAR* kMonitorKey = WSTR("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane");
inline constexpr const WCHAR* kScriptValue = WSTR("Script");
inline constexpr const WCHAR* kSerialNumberValue = WSTR("SerialNumber");

}  // namespace MarrowjetUI

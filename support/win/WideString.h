// Wide text as the Windows API holds it: strings of WCHAR, whatever WCHAR is on the build.
// Code that hands text to or takes it from wide Windows calls uses these, never a character
// type of its own choosing.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace win {

using WideString = std::basic_string<WCHAR>;
using WideStringView = std::basic_string_view<WCHAR>;

}  // namespace win

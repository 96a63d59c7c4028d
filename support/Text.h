// Text as the job processor holds it: UTF-16, like the OLE strings that cross its interfaces.
// The registry and the log file speak the system's 8-bit code page; these helpers convert.
#pragma once
#include <windows.h>

#include "win/ComBstr.h"
#include "win/ControlEscapes.h"
#include "win/WideString.h"

#include <string>
#include <string_view>

namespace MarrowjetUI {

using Text = win::WideString;
using TextView = win::WideStringView;

// The text in the 8-bit code page, and back.
std::string ToCodePage(TextView text);
Text FromCodePage(std::string_view bytes);

// Signed decimal, as every number is written into paths and the log.
Text DecimalText(long long number);

// The characters of an OLE string; a null string is empty text.
Text FromBstr(BSTR value);
using win::EscapeControlCharacters;

// Blanks removed from both ends (only blanks, not other white space).
Text TrimBlanks(TextView text);

// Owns one OLE string and frees it when it goes: the kit's owner, under the name the job
// processor's code uses.
using Bstr = win::ComBstr;

// Stores a copy of `text` into an out-parameter of an interface method.
HRESULT CopyToOut(TextView text, BSTR* out) noexcept;

// Stores a copy of an interface method's text argument into `field`: S_OK, or E_OUTOFMEMORY
// with `field` as it was.
HRESULT CopyFromIn(BSTR value, Text& field) noexcept;

}  // namespace MarrowjetUI

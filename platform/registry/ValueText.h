// Value data as the 8-bit calls see it. The store keeps string types (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) in their UTF-16 form, as the wide calls write them; the 8-bit calls convert
// exactly the bytes given (terminators included, when given) to and from UTF-8.
#pragma once
#include <windef.h>

#include <string>
#include <string_view>

namespace qv::registry {

bool IsStringType(DWORD type);

// UTF-8 bytes -> the stored UTF-16 bytes.
std::string StoredFromAnsi(std::string_view ansi);
// Stored UTF-16 bytes -> UTF-8 bytes (an odd last byte is dropped).
std::string AnsiFromStored(std::string_view stored);

// Name conversions; an 8-bit name is taken as UTF-8, bad sequences replaced.
std::string NameFromAnsi(LPCSTR name);
std::string NameFromWide(LPCWSTR name);

}  // namespace qv::registry

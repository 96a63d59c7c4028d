// Value types and data as people write and read them in the reg command: type names, the
// text given to /d, and the text shown by query.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace qv::cli {

std::string TypeName(DWORD type);
bool ParseTypeName(std::string_view name, DWORD& type);

// Stored bytes for `text` given as /d; `separator` splits REG_MULTI_SZ items. On bad data
// returns false and names the problem.
bool DataFromText(DWORD type, const std::string& text, const std::string& separator, std::string& data,
                  std::string& problem);

// The data as query shows it: text up to its end, REG_MULTI_SZ items joined by "\0",
// numbers in hexadecimal, anything else as hex digits.
std::string DisplayData(DWORD type, std::string_view data);

// UTF-16 strings as stored bytes and back.
std::string StoredText(std::u16string_view text);
std::u16string TextOfStored(std::string_view data);

}  // namespace qv::cli

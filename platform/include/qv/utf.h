// UTF-16 <-> UTF-8. Invalid sequences become U+FFFD; nothing here throws on bad input.
#pragma once
#include <string>
#include <string_view>

namespace qv {

std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);

}  // namespace qv

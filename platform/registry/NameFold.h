// Key and value names compare without regard to case, as on Windows: both sides are mapped to
// upper case, one UTF-16 unit at a time (characters beyond the BMP compare exactly).
#pragma once
#include <string>
#include <string_view>

namespace qv::registry {

// The form a UTF-8 name is compared and indexed by.
std::string FoldName(std::string_view utf8);

}  // namespace qv::registry

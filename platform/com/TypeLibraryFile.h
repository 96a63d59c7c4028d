// Type library files: the text form described in oleauto.h.
#pragma once
#include "TypeLibrary.h"

#include <string>
#include <string_view>

namespace qv::com {

// The contents of a type library file, or nothing when `text` isn't one.
std::optional<TypeLibraryData> ParseTypeLibraryText(std::string_view text);

// The text form of `record`, or nothing when the record is too small, its system kind unknown
// or one of its strings holds a line break.
std::optional<std::string> FormatTypeLibraryText(const TYPELIBRECORD& record);

// Reads the file `hostPath`; nothing when it can't be read or isn't a type library file.
std::optional<TypeLibraryData> ReadTypeLibraryFile(const std::string& hostPath);

}  // namespace qv::com

// Registry helpers for the class entries under HKEY_CLASSES_ROOT: reading a key's default
// text, writing one, and removing a whole subtree.
#pragma once
#include <objbase.h>
#include <winreg.h>

#include <string>

namespace qv::com {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case, as class keys are named.
std::u16string GuidText(REFGUID guid);

// Reads a text value (REG_SZ or REG_EXPAND_SZ) of the key `path` below `root`; a null `name`
// is the key's default value. The text ends at its first null character, if any.
LSTATUS ReadKeyText(HKEY root, const std::u16string& path, const WCHAR* name, std::u16string& text);

// Creates the key `path` below `root` if needed and stores `text` as a REG_SZ value.
LSTATUS WriteKeyText(HKEY root, const std::u16string& path, const WCHAR* name,
                     const std::u16string& text);

// Deletes the key `path` below `root` with all its subkeys. A key that is not there counts as
// deleted.
LSTATUS DeleteKeyTree(HKEY root, const std::u16string& path);

}  // namespace qv::com

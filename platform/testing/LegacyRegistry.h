// Keys the registry calls refuse to create today, planted the way an older store may hold
// them: straight into the store of the current prefix, past every check of the calls.
#pragma once
#include <string>

namespace qv::testing {

// Adds the key `name` below HKLM\<parentPath> (which must exist; both in ASCII, since names
// are folded here as ASCII alone). Throws std::runtime_error when the store refuses.
void PlantKeyPastTheChecks(const std::string& parentPath, const std::string& name);

}  // namespace qv::testing

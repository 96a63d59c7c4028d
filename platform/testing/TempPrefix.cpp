#include "TempPrefix.h"

#include <qv/prefix.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace qv::testing {

TempPrefix::TempPrefix() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qvtest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary prefix");
  dir_ = pattern;
  setenv("QUORVANE_PREFIX", dir_.c_str(), 1);
  qv::SetPrefixOverride(dir_);
}

TempPrefix::~TempPrefix() {
  qv::SetPrefixOverride("");
  unsetenv("QUORVANE_PREFIX");
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

// CTest names the build folder; programs are in its bin/, libraries in its lib/.
static std::string BuildDir() {
  const char* value = std::getenv("QV_TEST_BUILD_DIR");
  return value && *value ? value : "..";
}

std::string BinDir() { return BuildDir() + "/bin"; }
std::string LibDir() { return BuildDir() + "/lib"; }

}  // namespace qv::testing

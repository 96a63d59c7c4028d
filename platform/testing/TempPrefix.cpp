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

static std::string FromEnv(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

std::string BinDir() { return FromEnv("QV_TEST_BIN_DIR", "."); }
std::string LibDir() { return FromEnv("QV_TEST_LIB_DIR", "."); }

}  // namespace qv::testing

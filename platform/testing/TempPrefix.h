// A fresh prefix in a temporary folder for one test: the platform uses it (and QUORVANE_PREFIX
// names it, for child processes) until the object is destroyed, which removes the folder.
#pragma once
#include <string>

namespace qv::testing {

class TempPrefix {
 public:
  TempPrefix();
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::string& Dir() const { return dir_; }
  std::string Path(const std::string& relative) const { return dir_ + "/" + relative; }

 private:
  std::string dir_;
};

// Folders the build put its programs and libraries in (set by CTest for every test).
std::string BinDir();
std::string LibDir();

}  // namespace qv::testing

// A file a print command reads a job from, or standard input for "-". Opened when made, so that
// a mistyped name or a folder fails before anything is printed; closes what it opened.
#pragma once
#include <string>

namespace qv::cli {

class InputFile {
 public:
  // Throws Failure("cannot read <path>: <reason>").
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  int Fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace qv::cli

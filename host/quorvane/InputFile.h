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
  // The path, or "standard input".
  const std::string& Name() const { return name_; }
  // Everything left to read. Throws Failure("cannot read <path>: <reason>"), standard input
  // named as such.
  std::string Content();

 private:
  std::string name_;
  int fd_;
};

}  // namespace qv::cli

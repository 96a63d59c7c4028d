#include "InputFile.h"

#include "Command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv::cli {

InputFile::InputFile(const std::string& path) : fd_(STDIN_FILENO) {
  if (path == "-") return;
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw Failure("cannot read " + path + ": " + std::strerror(errno));
  struct stat info {};
  if (fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    close(fd_);
    throw Failure("cannot read " + path + ": it is a folder");
  }
}

InputFile::~InputFile() {
  if (fd_ != STDIN_FILENO) close(fd_);
}

}  // namespace qv::cli

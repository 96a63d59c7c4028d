#include "InputFile.h"

#include "Command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv::cli {

InputFile::InputFile(const std::string& path)
    : name_(path == "-" ? "standard input" : path), fd_(STDIN_FILENO) {
  if (path == "-") return;
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw Failure("cannot read " + path + ": " + std::strerror(errno));
  struct stat info {};
  if (fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    close(fd_);
    throw Failure("cannot read " + path + ": it is a folder");
  }
}

std::string InputFile::Content() {
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got == 0) return content;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw Failure("cannot read " + name_ + ": " + std::strerror(errno));
    }
    content.append(buffer, static_cast<size_t>(got));
  }
}

InputFile::~InputFile() {
  if (fd_ != STDIN_FILENO) close(fd_);
}

}  // namespace qv::cli

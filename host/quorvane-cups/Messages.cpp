#include "Messages.h"

#include <unistd.h>

#include <cerrno>

namespace qv::backend {

void Say(const char* level, const std::string& text) {
  // One write per line: lines of two threads never interleave, and the scheduler takes a
  // line break as the end of the message, so breaks inside the text become spaces.
  std::string line = std::string(level) + ": ";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  for (size_t done = 0; done < line.size();) {
    ssize_t put = write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    done += static_cast<size_t>(put);
  }
}

}  // namespace qv::backend

// Starting a program, as the about box starts the system information program: the command
// line's first word (quoted when it holds blanks) names the program, by a Windows or a host
// path; the rest are its arguments. The program runs on its own; nobody waits for it.
#include <qv/paths.h>
#include <winbase.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

bool IsProgram(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

extern "C" UINT WINAPI WinExec(LPCSTR lpCmdLine, UINT) {
  if (!lpCmdLine) return ERROR_FILE_NOT_FOUND;
  std::vector<std::string> words;
  std::string program;
  // A whole line that names a program is the program, blanks and all.
  if (qv::MapWindowsPath(lpCmdLine, program) == ERROR_SUCCESS && IsProgram(program)) {
    words.push_back(lpCmdLine);
  } else {
    words = Words(lpCmdLine);
    if (words.empty() || qv::MapWindowsPath(words[0], program) != ERROR_SUCCESS || !IsProgram(program))
      return ERROR_FILE_NOT_FOUND;
  }
  std::vector<char*> argv;
  words[0] = program;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  // Started through a child that exits at once, so the program is nobody's child to reap.
  const pid_t child = fork();
  if (child < 0) return ERROR_NOT_ENOUGH_MEMORY;
  if (child == 0) {
    pid_t grandchild = 0;
    _exit(posix_spawn(&grandchild, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? 0 : 1);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 33 : ERROR_FILE_NOT_FOUND;
}

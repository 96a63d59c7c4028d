// quorvane: the administrator's tool and the embedded print system. Global options come
// before the sub-command; each sub-command lives in a Cmd*.cpp file of its own.
#include "Command.h"
#include "PrintSystemChoice.h"
#include "StderrSink.h"

#include <qv/prefix.h>
#include <qv/registry_store.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using qv::cli::Command;

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: quorvane [--prefix DIR] [--print-system embedded|cups] COMMAND [ARGUMENTS...]\n"
               "       quorvane --help | --version\n"
               "\n"
               "Commands:\n");
  std::vector<Command> commands = qv::cli::Commands();
  std::sort(commands.begin(), commands.end(),
            [](const Command& a, const Command& b) { return std::string(a.name) < b.name; });
  for (const Command& command : commands) std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
  std::fprintf(out,
               "\n"
               "Options:\n"
               "  --prefix DIR  keep all state in DIR (default: $QUORVANE_PREFIX, else\n"
               "                /var/lib/quorvane for root and ~/.local/share/quorvane for others)\n"
               "  --print-system embedded|cups\n"
               "                act on this print system for this one command (default: the one\n"
               "                \"quorvane install\" recorded; \"install --cups\" records CUPS)\n"
               "\n"
               "\"quorvane COMMAND --help\" shows the usage of one command.\n");
}

int UsageFailure(const std::string& problem) {
  std::fprintf(stderr, "quorvane: %s\n", problem.c_str());
  PrintHelp(stderr);
  return 2;
}

// --prefix for this process and for every process it starts.
void UsePrefix(const std::string& dir) {
  std::error_code ignored;
  std::string absolute = std::filesystem::absolute(dir, ignored).lexically_normal().string();
  if (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  setenv("QUORVANE_PREFIX", absolute.c_str(), 1);
  qv::SetPrefixOverride(absolute);
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : qv::cli::Commands())
    if (name == command.name) return &command;
  return nullptr;
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "/?"; }

int RunCommand(const Command& command, const std::vector<std::string>& args) {
  if (args.size() == 1 && IsHelp(args[0])) {
    std::printf("%s\n", command.usage);
    return 0;
  }
  try {
    qv::cli::UsePrintSystem();
    return command.run(args);
  } catch (const qv::cli::UsageError& error) {
    std::fprintf(stderr, "quorvane: %s\n%s\n", error.what(), command.usage);
    return 2;
  } catch (const qv::cli::Failure& error) {
    std::fprintf(stderr, "quorvane: %s\n", error.what());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quorvane: %s: %s\n", command.name, error.what());
    return 1;
  }
}

int Run(const std::vector<std::string>& args) {
  size_t next = 0;
  while (next < args.size() && args[next].size() > 1 && args[next][0] == '-') {
    const std::string& option = args[next];
    if (IsHelp(option)) {
      PrintHelp(stdout);
      return 0;
    }
    if (option == "--version") {
      std::printf("quorvane %s\n", QV_VERSION);
      return 0;
    }
    if (option == "--prefix") {
      if (next + 1 >= args.size() || args[next + 1].empty()) return UsageFailure("--prefix needs a folder");
      UsePrefix(args[next + 1]);
      next += 2;
    } else if (option == "--print-system" || option.rfind("--print-system=", 0) == 0) {
      std::string name;
      if (option == "--print-system") {
        if (next + 1 >= args.size()) return UsageFailure("--print-system needs \"embedded\" or \"cups\"");
        name = args[next + 1];
        next += 2;
      } else {
        name = option.substr(15);
        ++next;
      }
      try {
        qv::cli::OverridePrintSystem(name);
      } catch (const qv::cli::UsageError& error) {
        return UsageFailure(error.what());
      }
    } else if (option.rfind("--prefix=", 0) == 0 && option.size() > 9) {
      UsePrefix(option.substr(9));
      ++next;
    } else {
      return UsageFailure("unknown option \"" + option + "\"");
    }
  }
  if (next == args.size()) return UsageFailure("no command given");
  const Command* command = FindCommand(args[next]);
  if (!command) return UsageFailure("unknown command \"" + args[next] + "\"");
  return RunCommand(*command, std::vector<std::string>(args.begin() + next + 1, args.end()));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    qv::cli::StderrSink sink;  // every failure reported while the command runs is told on stderr
    int status = Run(std::vector<std::string>(argv + 1, argv + argc));
    // The next command then opens the registry without replaying a log of earlier commits.
    qv::CheckpointRegistry();
    // Output that never arrived (a full disk, a closed pipe) is a failure the caller must see:
    // a script reading a job number or a port list would otherwise go on without it.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (!flushed || std::ferror(stdout)) {
      const int error = errno;
      std::fprintf(stderr, "quorvane: cannot write the output%s%s\n", error ? ": " : "",
                   error ? std::strerror(error) : "");
      return status ? status : 1;
    }
    return status;
  } catch (...) {
    std::fprintf(stderr, "quorvane: unexpected failure\n");
    return 1;
  }
}

// quorvane log: the one log file that the monitor and the job processor append their failures
// to. It is the text value "LogFile" of the configuration key; without it nothing is logged.
#include "Command.h"
#include "RegistryData.h"
#include "RegistryKey.h"
#include "StatusText.h"

#include <qv/paths.h>
#include <qv/utf.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <charconv>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>

namespace qv::cli {
namespace {

const char16_t kConfigurationKey[] = u"SOFTWARE\\Drennic\\Quorvane";
const char16_t kLogFileValue[] = u"LogFile";

const char kUsage[] =
    "usage: quorvane log                  show the path of the log file\n"
    "       quorvane log --show [-n N]    show the last N lines of the log (20 unless given)\n"
    "       quorvane log PATH [--create]  append failures to PATH: a drive path\n"
    "                                     (C:\\logs\\quorvane.log) or an absolute host path\n"
    "                                     (/var/log/quorvane.log) in a folder that exists;\n"
    "                                     --create makes the folder\n"
    "       quorvane log --off            log nothing";

bool IsDrivePath(const std::string& path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

// The configured log file as stored ("" when none is set).
std::string ConfiguredPath() {
  RequireInstallation();
  RegistryKey key;
  RegistryValue value;
  LSTATUS status = key.Open(HKEY_LOCAL_MACHINE, kConfigurationKey);
  if (status == ERROR_SUCCESS) status = key.Query(kLogFileValue, value);
  if (status == ERROR_FILE_NOT_FOUND) return {};
  if (status) FailWithStatus("the log file setting", status);
  if (value.type != REG_SZ) throw Failure("the log file setting \"LogFile\" is not text, so nothing is logged");
  std::u16string path = TextOfStored(value.data);
  while (!path.empty() && path.back() == u'\0') path.pop_back();
  return qv::ToUtf8(path);
}

int Show() {
  const std::string path = ConfiguredPath();
  if (path.empty()) {
    std::printf("no log file: failures are not logged (\"quorvane log PATH\" sets one)\n");
    return 0;
  }
  std::printf("%s\n", path.c_str());
  return 0;
}

// The host path of a log file path (drive paths through the drive table).
std::string HostPath(const std::string& path) {
  std::string host;
  if (DWORD status = qv::MapWindowsPath(path, host)) FailWithStatus("the log file " + path, status);
  return host;
}

int ShowLines(const std::vector<std::string>& args) {
  size_t count = 20;
  if (args.size() == 2 || args.size() > 3 || (args.size() == 3 && args[1] != "-n"))
    throw UsageError("give --show, or --show -n N");
  if (args.size() == 3) {
    const std::string& text = args[2];
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size()) throw UsageError("bad line count \"" + text + "\"");
  }
  const std::string path = ConfiguredPath();
  if (path.empty()) throw Failure("no log file is set, so nothing was logged (\"quorvane log PATH\" sets one)");
  const std::string host = HostPath(path);
  std::ifstream in(host, std::ios::binary);
  if (!in) {
    if (!std::filesystem::exists(host)) {
      std::fprintf(stderr, "quorvane: nothing logged yet (%s)\n", host.c_str());
      return 0;
    }
    throw Failure("cannot read the log file " + host + ": " + std::strerror(errno));
  }
  std::deque<std::string> last;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    last.push_back(std::move(line));
    if (last.size() > count) last.pop_front();
  }
  for (const std::string& line : last) std::printf("%s\n", line.c_str());
  return 0;
}

int Set(const std::string& path, bool create) {
  // The library never resolves a relative path, so one would silently log nothing.
  if (!IsDrivePath(path) && (path.empty() || path[0] != '/'))
    throw UsageError("bad log file \"" + path + "\": give a drive path or an absolute host path");
  // Nor does it make folders: a log in a missing folder would lose every later failure.
  const std::filesystem::path host(HostPath(path));
  if (host.filename().empty()) throw UsageError("bad log file \"" + path + "\": it names a folder");
  if (std::filesystem::is_directory(host)) throw Failure("the log file " + path + " is a folder");
  const std::filesystem::path folder = host.parent_path();
  if (!std::filesystem::is_directory(folder)) {
    if (!create)
      throw Failure("the folder " + folder.string() + " of the log file does not exist (create it, or use --create)");
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw Failure("cannot create the folder " + folder.string() + ": " + error.message());
  }
  RegistryKey key;
  if (LSTATUS status = key.Create(HKEY_LOCAL_MACHINE, kConfigurationKey)) FailWithStatus("the configuration key", status);
  const RegistryValue value{kLogFileValue, REG_SZ, StoredText(qv::ToUtf16(path) + u'\0')};
  if (LSTATUS status = key.Set(value)) FailWithStatus("the log file setting", status);
  return 0;
}

int Off() {
  RegistryKey key;
  LSTATUS status = key.Open(HKEY_LOCAL_MACHINE, kConfigurationKey);
  if (status == ERROR_SUCCESS) status = key.Delete(kLogFileValue);
  if (status == ERROR_FILE_NOT_FOUND) return 0;  // already off
  if (status) FailWithStatus("the log file setting", status);
  return 0;
}

int RunLog(const std::vector<std::string>& args) {
  if (args.empty()) return Show();
  if (args[0] == "--show") return ShowLines(args);
  std::vector<std::string> rest = args;
  const bool create = std::erase(rest, std::string("--create")) > 0;
  if (rest.size() != 1) throw UsageError(rest.empty() ? "--create needs a PATH" : "unexpected argument \"" + rest[1] + "\"");
  if (rest[0] == "--off" && !create) return Off();
  if (!rest[0].empty() && rest[0][0] == '-') throw UsageError("unknown option \"" + rest[0] + "\"");
  return Set(rest[0], create);
}

const CommandRegistrar kRegister({"log", "show or set the log file of failures", kUsage, &RunLog});

}  // namespace
}  // namespace qv::cli

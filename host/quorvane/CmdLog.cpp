// quorvane log: the one log file that the monitor and the job processor append their failures
// to. It is the text value "LogFile" of the configuration key; without it nothing is logged.
#include "Command.h"
#include "RegistryData.h"
#include "RegistryKey.h"
#include "StatusText.h"

#include <qv/utf.h>

#include <cctype>
#include <cstdio>

namespace qv::cli {
namespace {

const char16_t kConfigurationKey[] = u"SOFTWARE\\Drennic\\Quorvane";
const char16_t kLogFileValue[] = u"LogFile";

const char kUsage[] =
    "usage: quorvane log            show the log file\n"
    "       quorvane log PATH       append failures to PATH: a drive path (C:\\logs\\quorvane.log)\n"
    "                               or an absolute host path (/var/log/quorvane.log)\n"
    "       quorvane log --off      log nothing";

bool IsDrivePath(const std::string& path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

int Show() {
  RegistryKey key;
  RegistryValue value;
  LSTATUS status = key.Open(HKEY_LOCAL_MACHINE, kConfigurationKey);
  if (status == ERROR_SUCCESS) status = key.Query(kLogFileValue, value);
  if (status == ERROR_FILE_NOT_FOUND) {
    std::printf("no log file: failures are not logged\n");
    return 0;
  }
  if (status) FailWithStatus("the log file setting", status);
  if (value.type != REG_SZ) throw Failure("the log file setting \"LogFile\" is not text, so nothing is logged");
  std::u16string path = TextOfStored(value.data);
  while (!path.empty() && path.back() == u'\0') path.pop_back();
  if (path.empty()) {
    std::printf("no log file: failures are not logged\n");
    return 0;
  }
  std::printf("%s\n", qv::ToUtf8(path).c_str());
  return 0;
}

int Set(const std::string& path) {
  // The library never resolves a relative path, so one would silently log nothing.
  if (!IsDrivePath(path) && (path.empty() || path[0] != '/'))
    throw UsageError("bad log file \"" + path + "\": give a drive path or an absolute host path");
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
  if (args.size() > 1) throw UsageError("unexpected argument \"" + args[1] + "\"");
  if (args[0] == "--off") return Off();
  if (!args[0].empty() && args[0][0] == '-') throw UsageError("unknown option \"" + args[0] + "\"");
  return Set(args[0]);
}

const CommandRegistrar kRegister({"log", "show or set the log file of failures", kUsage, &RunLog});

}  // namespace
}  // namespace qv::cli

// quorvane drive: the drive table, which maps drive letters of Windows paths to host folders.
// It is the registry key below; a new prefix maps C: to <prefix>/drive_c and Z: to /.
#include "Command.h"
#include "RegistryData.h"
#include "RegistryKey.h"
#include "StatusText.h"

#include <qv/utf.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace qv::cli {
namespace {

const char16_t kDriveKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\DOS Devices";

const char kUsage[] =
    "usage: quorvane drive                     list the drives\n"
    "       quorvane drive LETTER:             show one drive\n"
    "       quorvane drive LETTER: FOLDER [--create]\n"
    "                                          map a drive to a host folder (an absolute path\n"
    "                                          that exists; --create makes it)\n"
    "       quorvane drive LETTER: --delete    remove a drive";

std::string DriveArgument(const std::string& text) {
  if (text.size() != 2 || !std::isalpha(static_cast<unsigned char>(text[0])) || text[1] != ':')
    throw UsageError("bad drive \"" + text + "\": give a letter and a colon, such as C:");
  return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])))) + ":";
}

std::string FolderArgument(const std::string& text) {
  if (text.empty() || text[0] != '/') throw UsageError("bad folder \"" + text + "\": give an absolute host path");
  std::string folder = std::filesystem::path(text).lexically_normal().string();
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

[[noreturn]] void FailForDrive(const std::string& drive, LSTATUS status) {
  if (status == ERROR_FILE_NOT_FOUND) throw Failure("drive " + drive + " is not mapped");
  FailWithStatus("the drive table", status);
}

void PrintDrive(const RegistryValue& value) {
  std::printf("%s  %s\n", qv::ToUtf8(value.name).c_str(), DisplayData(value.type, value.data).c_str());
}

int List() {
  RequireInstallation();
  RegistryKey key;
  LSTATUS status = key.Open(HKEY_LOCAL_MACHINE, kDriveKey);
  if (status == ERROR_FILE_NOT_FOUND) return 0;  // no drives at all
  if (status) FailWithStatus("the drive table", status);
  std::vector<RegistryValue> drives;
  if (LSTATUS status = key.Values(drives)) FailWithStatus("the drive table", status);
  std::sort(drives.begin(), drives.end(), [](const RegistryValue& a, const RegistryValue& b) {
    return qv::ToUtf8(a.name) < qv::ToUtf8(b.name);
  });
  for (const RegistryValue& drive : drives) PrintDrive(drive);
  return 0;
}

int Show(const std::string& drive) {
  RequireInstallation();
  RegistryKey key;
  RegistryValue value;
  LSTATUS status = key.Open(HKEY_LOCAL_MACHINE, kDriveKey);
  if (status == ERROR_SUCCESS) status = key.Query(qv::ToUtf16(drive), value);
  if (status) FailForDrive(drive, status);
  PrintDrive(value);
  return 0;
}

int Set(const std::string& drive, const std::string& folder, bool create) {
  // A drive on a missing folder would make every write through it fail later, out of sight.
  if (!std::filesystem::is_directory(folder)) {
    if (std::filesystem::exists(folder)) throw Failure("drive " + drive + ": " + folder + " is not a folder");
    if (!create) throw Failure("drive " + drive + ": the folder " + folder + " does not exist (create it, or use --create)");
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw Failure("drive " + drive + ": cannot create " + folder + ": " + error.message());
  }
  RegistryKey key;
  if (LSTATUS status = key.Create(HKEY_LOCAL_MACHINE, kDriveKey)) FailWithStatus("the drive table", status);
  RegistryValue value{qv::ToUtf16(drive), REG_SZ, StoredText(qv::ToUtf16(folder) + u'\0')};
  if (LSTATUS status = key.Set(value)) FailWithStatus("the drive table", status);
  return 0;
}

int Delete(const std::string& drive) {
  RegistryKey key;
  LSTATUS status = key.Open(HKEY_LOCAL_MACHINE, kDriveKey);
  if (status == ERROR_SUCCESS) status = key.Delete(qv::ToUtf16(drive));
  if (status) FailForDrive(drive, status);
  return 0;
}

int RunDrive(const std::vector<std::string>& args) {
  if (args.empty()) return List();
  std::string drive = DriveArgument(args[0]);
  if (args.size() == 1) return Show(drive);
  std::vector<std::string> rest(args.begin() + 1, args.end());
  const bool create = std::erase(rest, std::string("--create")) > 0;
  if (rest.empty()) throw UsageError("--create needs a FOLDER");
  if (rest.size() > 1) throw UsageError("unexpected argument \"" + rest[1] + "\"");
  if (rest[0] == "--delete" && !create) return Delete(drive);
  return Set(drive, FolderArgument(rest[0]), create);
}

const CommandRegistrar kRegister({"drive", "list, map and remove drive letters", kUsage, &RunDrive});

}  // namespace
}  // namespace qv::cli

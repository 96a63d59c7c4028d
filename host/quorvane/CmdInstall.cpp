// quorvane install and uninstall: the job processor and the monitor register themselves
// through their own exports, as a registration tool loads and calls them on Windows.
#include "Command.h"
#include "CupsLibrary.h"
#include "CupsCommands.h"
#include "MonitorUsers.h"
#include "PrintSystemChoice.h"
#include "OptionParser.h"
#include "RegistryData.h"
#include "RegistryKey.h"
#include "StatusText.h"

#include <MonitorKey.h>
#include <qv/cups.h>
#include <qv/prefix.h>
#include <qv/registry_store.h>
#include <qv/utf.h>

#include <windows.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>

namespace qv::cli {
namespace {

using MarrowjetUI::kMonitorKey;

const char16_t kConfigurationKey[] = u"SOFTWARE\\Drennic\\Quorvane";
const char16_t kLogFileValue[] = u"LogFile";

const char kInstallUsage[] =
    "usage: quorvane install [--cups]\n"
    "       register the job processor, then add the monitor \"Quorvane\" to the print system;\n"
    "       failures are logged to PREFIX/quorvane.log unless a log file is set already. Running\n"
    "       it again changes nothing. --cups installs into CUPS: the backend goes to CUPS's\n"
    "       backend folder (root-owned, mode 0700) and every later command of this prefix acts\n"
    "       on CUPS queues and jobs.";
const char kUninstallUsage[] =
    "usage: quorvane uninstall [--purge]\n"
    "       move the printers on Quorvane's ports to \"FILE:\" (CUPS queues to file:///dev/null),\n"
    "       remove the monitor (and the CUPS backend), then the job\n"
    "       processor. The ports and their scripts stay for a later install; --purge removes\n"
    "       them too.";

// One of the system's libraries in the platform's library folder, loaded for as long as the
// object lives.
class ServerLibrary {
 public:
  ServerLibrary(const char* what, const char* file) : what_(what), path_(qv::LibraryDir() + "/" + file) {
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      const char* reason = dlerror();
      throw Failure("cannot load " + what_ + " (" + path_ + "): " + (reason ? reason : "unknown reason"));
    }
  }
  ~ServerLibrary() { dlclose(handle_); }
  ServerLibrary(const ServerLibrary&) = delete;
  ServerLibrary& operator=(const ServerLibrary&) = delete;

  // Calls the export `name` (DllRegisterServer, DllUnregisterServer); a failure is a Failure.
  void Call(const char* name) const {
    auto function = reinterpret_cast<HRESULT (*)()>(dlsym(handle_, name));
    if (!function) throw Failure(what_ + " (" + path_ + ") has no " + name);
    const HRESULT result = function();
    if (FAILED(result)) {
      // The components register themselves in the registry store: a failure of the store is
      // told as the store's, with its file.
      FailIfStoreIsReadOnly(std::string(name) + " of " + what_ + " failed");
      char code[16];
      std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
      const DWORD status = HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : 0;
      if (status != 0 && IsStoreFailure(status))
        throw Failure(StatusFailureText(std::string(name) + " of " + what_ + " failed", status));
      throw Failure(std::string(name) + " of " + what_ + " failed: " + StatusText(static_cast<DWORD>(result)) +
                    " (" + code + ")");
    }
  }

 private:
  std::string what_;
  std::string path_;
  void* handle_;
};

const char kJobProcessor[] = "the job processor";
const char kJobProcessorFile[] = "libmarrowjetui.so";
const char kMonitor[] = "the monitor";
const char kMonitorFile[] = "libqvpm.so";

// Whether the print system has the monitor recorded: its key names its library.
bool MonitorInstalled() {
  RegistryKey key;
  RegistryValue driver;
  return key.Open(HKEY_LOCAL_MACHINE, kMonitorKey) == ERROR_SUCCESS && key.Query(u"Driver", driver) == ERROR_SUCCESS;
}

// Before CUPS is recorded for the prefix: the scheduler answers, and the backend can go where
// cupsd looks for it.
void CheckCups() {
  std::vector<cups::Queue> queues;
  if (DWORD status = Cups().listQueues(queues)) FailWithScheduler("the CUPS scheduler", status);
  if (Cups().backendSource().empty())
    throw Failure("the CUPS backend (quorvane-cups) is neither in the build tree nor in " + Cups().serverBin() +
                  "/backend");
  if (geteuid() != 0)
    throw Failure("installing into CUPS needs root: the backend must be root-owned with mode 0700 in " +
                  Cups().serverBin() + "/backend");
}

// Sets the log file to <prefix>/quorvane.log when none is set, so that failures leave a trace from
// the start; an administrator's own setting (even "quorvane log --off" after this) is kept on
// later installs only while it is set. Returns the log file in use.
std::string LogByDefault() {
  RegistryKey key;
  if (LSTATUS status = key.Create(HKEY_LOCAL_MACHINE, kConfigurationKey)) FailWithStatus("the configuration key", status);
  RegistryValue value;
  LSTATUS status = key.Query(kLogFileValue, value);
  if (status == ERROR_SUCCESS) {
    std::u16string path = value.type == REG_SZ ? TextOfStored(value.data) : std::u16string();
    while (!path.empty() && path.back() == u'\0') path.pop_back();
    return qv::ToUtf8(path);
  }
  if (status != ERROR_FILE_NOT_FOUND) FailWithStatus("the log file setting", status);
  const std::string path = qv::PrefixDir() + "/quorvane.log";
  const RegistryValue setting{kLogFileValue, REG_SZ, StoredText(qv::ToUtf16(path) + u'\0')};
  if (LSTATUS set = key.Set(setting)) FailWithStatus("the log file setting", set);
  return path;
}

int Install(const std::vector<std::string>& args) {
  OptionParser options(args, {}, {"--cups"});
  options.ExpectOperands(0, 0);
  if (options.Flag("--cups")) {
    SwitchPrintSystem(PrintSystemKind::kCups);
    CheckCups();
  }
  const PrintSystemKind kind = UsePrintSystem();
  ServerLibrary(kJobProcessor, kJobProcessorFile).Call("DllRegisterServer");
  // The monitor logs a refusal of the print system and goes on: ask the print system.
  ServerLibrary(kMonitor, kMonitorFile).Call("DllRegisterServer");
  if (!MonitorInstalled())
    throw Failure("the print system did not take the monitor \"Quorvane\"; its reason is in the log (\"quorvane log\")");
  const std::string log = LogByDefault();
  if (kind == PrintSystemKind::kCups) {
    // A monitor recorded earlier (for the embedded print system) left the backend out.
    const std::string source = Cups().backendSource();
    if (DWORD status = source.empty() ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : Cups().installBackend(source))
      FailWithStatus("the CUPS backend " + Cups().installedBackendPath(), status);
    RecordPrintSystem(kind);
    // Installing writes many keys: the next command opens a store with an empty log.
    qv::CheckpointRegistry(true);
    std::printf("Quorvane is installed into CUPS: monitor \"Quorvane\" with its job processor, backend %s\n"
                "Queues on \"quorvane:/PORT\" now run PORT's script (\"quorvane printer add NAME --port PORT\")\n",
                Cups().installedBackendPath().c_str());
    if (!log.empty()) std::printf("Failures are logged to %s (\"quorvane log --show\") and shown by lpstat -p\n", log.c_str());
    return 0;
  }
  // Installing writes many keys: the next command opens a store with an empty log.
  qv::CheckpointRegistry(true);
  std::printf("Quorvane is installed: monitor \"Quorvane\" with its job processor\n");
  if (!log.empty()) std::printf("Failures are logged to %s (\"quorvane log --show\")\n", log.c_str());
  return 0;
}

int Uninstall(const std::vector<std::string>& args) {
  OptionParser options(args, {}, {"--purge"});
  options.ExpectOperands(0, 0);
  ServerLibrary(kMonitor, kMonitorFile).Call("DllUnregisterServer");
  // Kept working as long as the monitor is there: its ports still need the job processor.
  if (MonitorInstalled()) {
    FailIfStoreIsReadOnly("the monitor \"Quorvane\" was kept");
    std::string why;
    for (const std::string& reason : PrintersKeepingMonitor(u"Quorvane")) why += "\n  " + reason;
    if (why.empty()) why = "\n  a printer still uses one of its ports";
    throw Failure("the print system kept the monitor \"Quorvane\":" + why +
                  "\nRemove such a printer (\"quorvane printer delete NAME\") or add it again on one exact port, then "
                  "uninstall again.");
  }
  ServerLibrary(kJobProcessor, kJobProcessorFile).Call("DllUnregisterServer");
  if (options.Flag("--purge")) {
    const LSTATUS status = DeleteTree(HKEY_LOCAL_MACHINE, kMonitorKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) FailWithStatus("the ports of Quorvane", status);
  }
  ForgetPrintSystem();
  std::printf("Quorvane is uninstalled%s\n",
              options.Flag("--purge") ? ", its ports and scripts removed" : "; its ports and scripts are kept");
  return 0;
}

const CommandRegistrar kInstall({"install", "install Quorvane into the print system", kInstallUsage, &Install});
const CommandRegistrar kUninstall({"uninstall", "remove Quorvane from the print system", kUninstallUsage,
                                   &Uninstall});

}  // namespace
}  // namespace qv::cli

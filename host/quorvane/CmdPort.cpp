// quorvane port: the monitor's ports. A port is a subkey of the monitor key named as the port;
// its text value "Script" holds one action per line, lines joined by CR LF. Adding, configuring
// and deleting go through the print system to the monitor that owns the port, as the spooler's
// port list does (adding and configuring in PortDialogs).
#include "Command.h"
#include "PortDialogs.h"
#include "RegistryData.h"
#include "RegistryKey.h"
#include "PortCheck.h"
#include "PrintSetup.h"
#include "StatusText.h"

#include <qv/utf.h>

#include <cstdio>

namespace qv::cli {
namespace {

const std::string kUsage =
    "usage: quorvane port show NAME      show a port's script, one action per line, and warn on\n"
    "                                  standard error about what in it will not run\n"
    "       quorvane port check [NAME]   check one port's script, or every port's; exits 1 when a\n"
    "                                  port would lose jobs\n"
    "       quorvane port delete NAME [--force]\n"
    "                                  delete a port and its script; while printers use the\n"
    "                                  port it is refused, unless --force moves them to \"FILE:\"\n" +
    PortDialogUsage();

// Tells the warnings for one port on stderr; true when there were any.
bool Warn(const std::string& name, const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings)
    std::fprintf(stderr, "quorvane: warning: port \"%s\": %s\n", name.c_str(), warning.c_str());
  return !warnings.empty();
}

void CheckName(const std::string& name) {
  if (name.empty() || name.find('\\') != std::string::npos) throw UsageError("bad port name \"" + name + "\"");
}

int Show(const std::string& name) {
  CheckName(name);
  RequireInstallation();
  bool hasScript = false;
  const std::u16string text = PortScript(name, hasScript);
  // The script as stored, one action per line; then what will silently not run.
  if (!text.empty()) {
    size_t start = 0;
    for (;;) {
      const size_t end = text.find(u"\r\n", start);
      std::printf("%s\n", qv::ToUtf8(std::u16string_view(text).substr(start, end - start)).c_str());
      if (end == std::u16string::npos) break;
      start = end + 2;
    }
  }
  std::fflush(stdout);
  Warn(name, ScriptWarnings(text, hasScript));
  return 0;
}

int Check(const std::vector<std::string>& names) {
  RequireInstallation();
  std::vector<std::string> ports = names;
  if (ports.empty()) ports = MonitorPorts();
  if (ports.empty()) {
    std::printf("Quorvane has no ports\n");
    return 0;
  }
  bool lost = false;
  for (const std::string& name : ports) {
    CheckName(name);
    bool hasScript = false;
    const std::u16string text = PortScript(name, hasScript);
    if (Warn(name, ScriptWarnings(text, hasScript)))
      lost = true;
    else
      std::printf("port \"%s\": ok\n", name.c_str());
  }
  return lost ? 1 : 0;
}

int Delete(const std::string& name, bool force) {
  // A printer left on a deleted port would fail every job sent to it.
  const std::vector<std::string> printers = PrintersOnPort(name);
  if (!printers.empty() && !force) {
    std::string names;
    for (size_t i = 0; i < printers.size(); ++i) names += (i ? ", \"" : "\"") + printers[i] + "\"";
    throw Failure("port \"" + name + "\" is used by the printer(s) " + names +
                  " (move them with \"quorvane printer set NAME --port PORT\", or use --force to move them to \"FILE:\")");
  }
  for (const std::string& printer : printers) {
    if (DWORD status = MovePrinter(printer, "FILE:")) FailWithStatus("printer \"" + printer + "\"", status);
    std::printf("printer \"%s\" moved from port \"%s\" to \"FILE:\"\n", printer.c_str(), name.c_str());
  }
  std::u16string port = qv::ToUtf16(name);
  if (DeletePortW(nullptr, nullptr, port.data())) return 0;
  const DWORD status = GetLastError();
  if (status == ERROR_UNKNOWN_PORT) throw Failure("no port named \"" + name + "\"" + InPrefix());
  if (status == ERROR_NOT_SUPPORTED) throw Failure("the port \"" + name + "\" can't be deleted");
  FailWithStatus("port \"" + name + "\"", status);
}

int RunPort(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("no port command given");
  if (args[0] == "show") {
    if (args.size() != 2) throw UsageError("port show needs one port name");
    return Show(args[1]);
  }
  if (args[0] == "add" || args[0] == "configure") return RunPortDialog(args);
  if (args[0] == "check") {
    if (args.size() > 2) throw UsageError("port check takes at most one port name");
    return Check(std::vector<std::string>(args.begin() + 1, args.end()));
  }
  if (args[0] == "delete") {
    std::vector<std::string> rest(args.begin() + 1, args.end());
    const bool force = std::erase(rest, std::string("--force")) > 0;
    if (rest.size() != 1) throw UsageError("port delete needs one port name");
    return Delete(rest[0], force);
  }
  throw UsageError("unknown port command \"" + args[0] + "\"");
}

const CommandRegistrar kRegister({"port", "add, configure, show, check and delete the ports of the monitor",
                                  kUsage.c_str(), &RunPort});

}  // namespace
}  // namespace qv::cli

// quorvane printer: the printers of the embedded print system, each attached to one port
// ("FILE:" or a port of an installed monitor).
#include "Command.h"
#include "CupsCommands.h"
#include "PrintSystemChoice.h"
#include "OptionParser.h"
#include "PrintSetup.h"
#include "StatusText.h"

#include <qv/print_system.h>

#include <algorithm>
#include <cstdio>

namespace qv::cli {
namespace {

const char kUsage[] =
    "usage: quorvane printer [list]                    list the printers\n"
    "       quorvane printer add NAME --port PORT [--driver NAME] [--force]\n"
    "                                                  add a printer on a port\n"
    "       quorvane printer set NAME --port PORT [--force]\n"
    "                                                  move a printer to another port\n"
    "       quorvane printer delete NAME               remove a printer\n"
    "The port must be one the print system has (\"quorvane ports\"); --force takes a port that\n"
    "will be made later. Under CUPS the printers are CUPS queues: \"add\" makes a raw queue\n"
    "whose device is quorvane:/PORT, and the list shows each queue's state (a stopped queue\n"
    "says why).";

// Refuses a port that neither a monitor nor the print system has: a printer on it would fail
// every job.
void CheckPort(const std::string& port, bool force) {
  if (force) return;
  const std::vector<PortLine> ports = ListPorts();
  for (const std::string& one : PortsOf(port))
    if (!HasPort(ports, one))
      throw Failure("there is no port \"" + one + "\"" + InPrefix() + " (the ports are " + PortNames(ports) +
                    "; --force takes a port that will be made later)");
}

int List(const std::vector<std::string>& args) {
  OptionParser(args, {}).ExpectOperands(0, 0);
  if (UsingCups()) return ListCupsPrinters();
  RequireInstallation();
  std::vector<PrinterEntry> printers;
  if (DWORD status = ListPrinters(printers)) FailWithStatus("the printers", status);
  if (printers.empty()) return 0;
  size_t nameWidth = 4, portWidth = 4;
  for (const PrinterEntry& printer : printers) {
    nameWidth = std::max(nameWidth, printer.name.size());
    portWidth = std::max(portWidth, printer.port.size());
  }
  std::printf("%-*s  %-*s  %s\n", static_cast<int>(nameWidth), "NAME", static_cast<int>(portWidth), "PORT", "DRIVER");
  for (const PrinterEntry& printer : printers)
    std::printf("%-*s  %-*s  %s\n", static_cast<int>(nameWidth), printer.name.c_str(),
                static_cast<int>(portWidth), printer.port.c_str(), printer.driver.c_str());
  return 0;
}

int Add(const std::vector<std::string>& args) {
  OptionParser options(args, {"--port", "--driver"}, {"--force"});
  options.ExpectOperands(1, 1);
  std::optional<std::string> port = options.Value("--port");
  if (!port || port->find_first_not_of(" \t") == std::string::npos)
    throw UsageError("printer add needs --port PORT");
  const std::string& name = options.Operands()[0];
  CheckPort(*port, options.Flag("--force"));
  if (UsingCups()) {
    if (options.Value("--driver")) throw UsageError("a CUPS queue of Quorvane's has no driver: leave out --driver");
    return AddCupsPrinter(name, *port);
  }
  if (DWORD status = AddPrinter(name, *port, options.Value("--driver").value_or("")))
    FailWithStatus("printer \"" + name + "\"", status);
  return 0;
}

int Set(const std::vector<std::string>& args) {
  OptionParser options(args, {"--port"}, {"--force"});
  options.ExpectOperands(1, 1);
  std::optional<std::string> port = options.Value("--port");
  if (!port || port->find_first_not_of(" \t") == std::string::npos) throw UsageError("printer set needs --port PORT");
  const std::string& name = options.Operands()[0];
  CheckPort(*port, options.Flag("--force"));
  if (UsingCups()) return MoveCupsPrinter(name, *port);
  if (DWORD status = MovePrinter(name, *port)) {
    if (status == ERROR_INVALID_PRINTER_NAME) throw Failure("printer \"" + name + "\" does not exist" + InPrefix());
    FailWithStatus("printer \"" + name + "\"", status);
  }
  return 0;
}

int Delete(const std::vector<std::string>& args) {
  OptionParser options(args, {});
  options.ExpectOperands(1, 1);
  const std::string& name = options.Operands()[0];
  if (UsingCups()) return DeleteCupsPrinter(name);
  if (DWORD status = DeletePrinter(name)) {
    if (status == ERROR_INVALID_PRINTER_NAME) throw Failure("printer \"" + name + "\" does not exist" + InPrefix());
    if (status == ERROR_PRINTER_HAS_JOBS_QUEUED)
      throw Failure("printer \"" + name + "\" still has jobs in the spool (see \"quorvane jobs\")");
    FailWithStatus("printer \"" + name + "\"", status);
  }
  return 0;
}

int RunPrinter(const std::vector<std::string>& args) {
  if (args.empty()) return List(args);
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "list") return List(rest);
  if (args[0] == "add") return Add(rest);
  if (args[0] == "set") return Set(rest);
  if (args[0] == "delete") return Delete(rest);
  throw UsageError("unknown printer command \"" + args[0] + "\"");
}

const CommandRegistrar kRegister({"printer", "list, add, move and delete printers", kUsage, &RunPrinter});

}  // namespace
}  // namespace qv::cli

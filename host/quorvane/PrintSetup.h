// What the printer and port commands check before they change anything: the ports the print
// system has, the printers on a port, and moving a printer to another port.
#pragma once
#include <windef.h>

#include <string>
#include <vector>

namespace qv::cli {

struct PortLine {
  std::string name, monitor, description;
};

// Every port of the print system ("FILE:" and the ports of the installed monitors); a failure
// to list them is a Failure.
std::vector<PortLine> ListPorts();

// Whether `port` is one of `ports`, compared without case, as the print system compares them.
bool HasPort(const std::vector<PortLine>& ports, const std::string& port);

// The ports of a printer's port text: one port, or a comma-separated list for a pooled printer.
std::vector<std::string> PortsOf(const std::string& portList);

// The port names joined for a message: "FILE:", "Archive" and "Copies".
std::string PortNames(const std::vector<PortLine>& ports);

// The printers that use `port` (alone or among the ports of a pooled printer).
std::vector<std::string> PrintersOnPort(const std::string& port);

// Puts printer `name` on `port` through the print system; 0 or the status.
DWORD MovePrinter(const std::string& name, const std::string& port);

}  // namespace qv::cli

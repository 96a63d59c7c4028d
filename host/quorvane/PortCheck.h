// What a port's script will silently not do, found by reading it as the job processor loads it:
// lines that stop the loading, line breaks that join two actions, field codes nobody expands,
// printers and drives that are not there, templates that can't be written.
#pragma once
#include <string>
#include <vector>

namespace qv::cli {

// The script of port `name` as stored (lines joined by CR LF). A Failure when the port does not
// exist; `hasScript` false when the port has no "Script" value.
std::u16string PortScript(const std::string& name, bool& hasScript);

// One sentence per problem, such as "line 2 (\"writefile: C:\\a.prn\") names no action ...".
std::vector<std::string> ScriptWarnings(const std::u16string& script, bool hasScript);

// The names of every port of the monitor, in the order the registry lists them.
std::vector<std::string> MonitorPorts();

}  // namespace qv::cli

#include "PortCheck.h"

#include "Command.h"
#include "RegistryData.h"
#include "RegistryKey.h"
#include "StatusText.h"

#include <MonitorKey.h>
#include <qv/paths.h>
#include <qv/print_system.h>
#include <qv/utf.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace qv::cli {
namespace {

using MarrowjetUI::kMonitorKey;

// The field codes the job processor expands; anything else of their shape stays in the text.
const std::set<std::string> kFieldCodes = {"?ID?", "?PN?", "?SN?", "?MN?", "?UN?", "?DN?", "?NN?",
                                           "?DT?", "?DR?", "?TP?", "?PR?", "?SI?", "?SE?", "?MI?",
                                           "?HO?", "?DA?", "?MO?", "?YE?", "?WD?"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool HasFieldCode(const std::string& text) {
  for (size_t i = 0; i + 4 <= text.size(); ++i)
    if (kFieldCodes.count(text.substr(i, 4))) return true;
  return false;
}

// "?XY?" shapes that are no field code: they reach the file name or printer name as they are.
std::vector<std::string> UnknownFieldCodes(const std::string& text) {
  std::vector<std::string> unknown;
  for (size_t i = 0; i + 4 <= text.size(); ++i) {
    if (text[i] != '?' || text[i + 3] != '?') continue;
    const std::string code = text.substr(i, 4);
    if (!std::isalpha(static_cast<unsigned char>(code[1])) || !std::isalpha(static_cast<unsigned char>(code[2]))) continue;
    if (kFieldCodes.count(code)) {
      i += 3;
      continue;
    }
    unknown.push_back(code);
  }
  return unknown;
}

void CheckTemplate(const std::string& where, const std::string& path, std::vector<std::string>& warnings) {
  if (path.empty()) {
    warnings.push_back(where + " has no file name: nothing is written");
    return;
  }
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                     (path[2] == '\\' || path[2] == '/');
  if (!drive && path[0] != '/') {
    warnings.push_back(where + " has a template with no drive (C:\\...) or absolute path: nothing is written");
    return;
  }
  if (drive) {
    std::string host;
    const std::string root = path.substr(0, 3);
    if (qv::MapWindowsPath(root, host) != ERROR_SUCCESS)
      warnings.push_back(where + " writes to drive " + path.substr(0, 2) + ", which is not mapped (\"quorvane drive\")");
  }
}

void CheckPrinter(const std::string& where, const std::string& printer, std::vector<std::string>& warnings) {
  if (printer.empty()) {
    warnings.push_back(where + " names no printer: nothing is printed");
    return;
  }
  if (HasFieldCode(printer)) return;  // known only when a job comes
  std::vector<PrinterEntry> printers;
  if (ListPrinters(printers) != ERROR_SUCCESS) return;
  for (const PrinterEntry& entry : printers)
    if (Lower(entry.name) == Lower(printer)) return;
  warnings.push_back(where + " prints on \"" + printer + "\", a printer the print system does not have");
}

}  // namespace

std::u16string PortScript(const std::string& name, bool& hasScript) {
  hasScript = false;
  RegistryKey port;
  LSTATUS status = port.Open(HKEY_LOCAL_MACHINE, std::u16string(kMonitorKey) + u"\\" + qv::ToUtf16(name));
  if (status == ERROR_FILE_NOT_FOUND) throw Failure("no port named \"" + name + "\"" + InPrefix());
  if (status) FailWithStatus("port \"" + name + "\"", status);
  RegistryValue script;
  status = port.Query(u"Script", script);
  if (status == ERROR_FILE_NOT_FOUND) return {};
  if (status) FailWithStatus("the script of port \"" + name + "\"", status);
  if (script.type != REG_SZ) throw Failure("the script of port \"" + name + "\" is not text");
  hasScript = true;
  std::u16string text = TextOfStored(script.data);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::vector<std::string> ScriptWarnings(const std::u16string& script, bool hasScript) {
  std::vector<std::string> warnings;
  if (!hasScript) {
    warnings.push_back("the port has no \"Script\" value: its jobs run no action");
    return warnings;
  }
  const std::vector<std::string> lines = Lines(qv::ToUtf8(script));
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::string where = "line " + std::to_string(i + 1);
    const bool writeFile = StartsWith(line, "WriteFile");
    const bool reprint = StartsWith(line, "Reprint");
    if (!writeFile && !reprint) {
      // Loading stops here; an empty last line (a script ending in CR LF) loses nothing.
      bool restEmpty = true;
      for (size_t j = i; j < lines.size(); ++j) restEmpty = restEmpty && Trimmed(lines[j]).empty();
      if (restEmpty) break;
      std::string why = "names no action";
      const std::string lower = Lower(Trimmed(line));
      if (StartsWith(lower, "writefile") || StartsWith(lower, "reprint"))
        why += " (the names are case-sensitive: \"WriteFile: \" and \"Reprint: \")";
      else if (line.empty())
        why = "is empty";
      warnings.push_back(where + " (\"" + line + "\") " + why + ": loading stops there, so it and every line after it " +
                         "never run");
      break;
    }
    if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos)
      warnings.push_back(where + " holds a line break that is not CR LF: what follows it is part of the same action");
    if (line.find("\\r\\n") != std::string::npos || line.find("\\n") != std::string::npos)
      warnings.push_back(where + " holds the characters \\r\\n or \\n: lines are separated by a real CR LF");
    for (const std::string& code : UnknownFieldCodes(line))
      warnings.push_back(where + " holds " + code + ", which is no field code: it stays in the text as it is");
    const std::string value = Trimmed(line.substr(std::min(line.size(), writeFile ? size_t{10} : size_t{8})));
    if (writeFile && line.find('\n') == std::string::npos) CheckTemplate(where, value, warnings);
    if (reprint && line.find('\n') == std::string::npos) CheckPrinter(where, value, warnings);
  }
  return warnings;
}

std::vector<std::string> MonitorPorts() {
  RegistryKey monitor;
  LSTATUS status = monitor.Open(HKEY_LOCAL_MACHINE, kMonitorKey);
  if (status == ERROR_FILE_NOT_FOUND) return {};
  if (status) FailWithStatus("the ports of Quorvane", status);
  std::vector<std::u16string> names;
  if (LSTATUS listed = monitor.SubkeyNames(names)) FailWithStatus("the ports of Quorvane", listed);
  std::vector<std::string> ports;
  for (const std::u16string& name : names) ports.push_back(qv::ToUtf8(name));
  return ports;
}

}  // namespace qv::cli

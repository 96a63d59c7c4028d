#include "Discovery.h"

#include <qv/cups.h>
#include <qv/utf.h>

#include <windows.h>

#include <strings.h>

#include <cstring>

namespace qv::backend {
namespace {

// Quotes a value for a discovery line: the scheduler splits the line at spaces outside quotes.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += (c == '\n' || c == '\r') ? ' ' : c;
  }
  return out + "\"";
}

}  // namespace

std::string DiscoveryLines(const std::vector<std::string>& ports) {
  std::string lines = "direct quorvane \"Unknown\" \"Quorvane print-job redirection\"\n";
  for (const std::string& port : ports)
    lines += "direct " + cups::DeviceUriOfPort(port) + " \"Unknown\" " + Quoted("Quorvane port " + port) + "\n";
  return lines;
}

std::vector<std::string> MonitorPorts(const std::string& monitor) {
  std::vector<std::string> ports;
  std::vector<BYTE> buffer;
  DWORD needed = 0, returned = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (EnumPortsW(nullptr, 2, buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                   &returned))
      break;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return ports;
    buffer.assign(needed, 0);
    returned = 0;
  }
  for (DWORD i = 0; i < returned; ++i) {
    PORT_INFO_2W info;
    std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
    if (!info.pPortName || !info.pMonitorName) continue;
    if (strcasecmp(ToUtf8(info.pMonitorName).c_str(), monitor.c_str()) == 0) ports.push_back(ToUtf8(info.pPortName));
  }
  return ports;
}

}  // namespace qv::backend

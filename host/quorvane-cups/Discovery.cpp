#include "Discovery.h"

#include <qv/cups.h>

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

}  // namespace qv::backend

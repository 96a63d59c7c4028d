// Device URIs and ports, and the option text a backend is given.
#include <qv/cups.h>

#include <cctype>
#include <strings.h>

namespace qv::cups {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(const std::string& text, const std::string& start) {
  return text.size() >= start.size() && strncasecmp(text.c_str(), start.c_str(), start.size()) == 0;
}

}  // namespace

std::string PercentDecode(const std::string& text, bool& ok) {
  ok = true;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) {
      ok = false;
      return {};
    }
    int high = HexValue(text[i + 1]);
    int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) {
      ok = false;
      return {};
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    // Unreserved characters stay; everything else (spaces, '/', '%', non-ASCII) is encoded so
    // that the port name comes back whole from the URI.
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> QuorvanePort(const std::string& uri) {
  std::string prefix = std::string(kScheme) + ":";
  if (!StartsWithNoCase(uri, prefix)) return std::nullopt;
  std::string rest = uri.substr(prefix.size());
  // "quorvane:/Port" as documented; "quorvane://Port" and "quorvane:Port" mean the same.
  size_t slashes = rest.find_first_not_of('/');
  if (slashes == std::string::npos) return std::nullopt;
  bool ok = false;
  std::string port = PercentDecode(rest.substr(slashes), ok);
  if (!ok || port.empty()) return std::nullopt;
  return port;
}

std::string PortOfDeviceUri(const std::string& uri) {
  if (std::optional<std::string> port = QuorvanePort(uri)) return *port;
  if (StartsWithNoCase(uri, "file:")) return "FILE:";
  return uri;
}

std::string DeviceUriOfPort(const std::string& port) {
  if (strcasecmp(port.c_str(), "FILE:") == 0) return kNullDeviceUri;
  // A port that already is a device URI ("ipp://...", "socket://...") names itself.
  size_t colon = port.find(':');
  if (colon != std::string::npos && colon > 0 && port.compare(colon, 2, ":/") == 0) {
    bool scheme = true;
    for (size_t i = 0; i < colon; ++i)
      scheme = scheme && (std::isalnum(static_cast<unsigned char>(port[i])) || port[i] == '+' || port[i] == '-' || port[i] == '.');
    if (scheme && !StartsWithNoCase(port, std::string(kScheme) + ":")) return port;
  }
  return std::string(kScheme) + ":/" + PercentEncode(port);
}

std::optional<std::string> OptionValue(const std::string& options, const std::string& name) {
  size_t i = 0;
  while (i < options.size()) {
    while (i < options.size() && std::isspace(static_cast<unsigned char>(options[i]))) ++i;
    size_t start = i;
    while (i < options.size() && options[i] != '=' && !std::isspace(static_cast<unsigned char>(options[i]))) ++i;
    std::string key = options.substr(start, i - start);
    std::string value;
    if (i < options.size() && options[i] == '=') {
      ++i;
      // Values may be quoted with ' or " and escape characters with a backslash.
      char quote = 0;
      while (i < options.size() && (quote || !std::isspace(static_cast<unsigned char>(options[i])))) {
        char c = options[i++];
        if (c == '\\' && i < options.size()) {
          value += options[i++];
        } else if (quote && c == quote) {
          quote = 0;
        } else if (!quote && (c == '\'' || c == '"')) {
          quote = c;
        } else {
          value += c;
        }
      }
    }
    if (!key.empty() && key == name) return value;
  }
  return std::nullopt;
}

}  // namespace qv::cups

#include "RegistryPath.h"

#include <qv/utf.h>

#include <algorithm>
#include <cctype>

namespace qv::cli {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

struct Root {
  const char* shortName;
  const char* fullName;
  HKEY key;
};

const Root kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
};

}  // namespace

std::u16string RegistryPath::Sub() const { return qv::ToUtf16(sub); }

RegistryPath RegistryPath::Child(const std::string& name) const {
  RegistryPath child = *this;
  child.sub = sub.empty() ? name : sub + "\\" + name;
  return child;
}

bool ParseRegistryPath(std::string_view text, RegistryPath& path, std::string& problem) {
  // The registry calls take names up to their first NUL: the rest would be lost, and a
  // deletion would remove the key above instead.
  if (text.find('\0') != std::string_view::npos) {
    problem = "bad key path: a key name can't hold a NUL character";
    return false;
  }
  std::string_view rootText = text.substr(0, text.find('\\'));
  std::string_view rest = rootText.size() < text.size() ? text.substr(rootText.size() + 1) : std::string_view();
  const Root* root = nullptr;
  for (const Root& candidate : kRoots)
    if (SameIgnoringCase(rootText, candidate.shortName) || SameIgnoringCase(rootText, candidate.fullName))
      root = &candidate;
  if (!root) {
    problem = "bad key path \"" + std::string(text) + "\": it must begin with HKLM or HKCR";
    return false;
  }
  while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  if (rest.find("\\\\") != std::string_view::npos || (!rest.empty() && rest.front() == '\\')) {
    problem = "bad key path \"" + std::string(text) + "\": it has an empty key name";
    return false;
  }
  path.root = root->key;
  path.rootName = root->fullName;
  path.sub = std::string(rest);
  return true;
}

bool CanCreateKeys(const RegistryPath& path, std::string& problem) {
  constexpr size_t kMaxKeyName = 255;  // UTF-16 characters
  for (size_t start = 0; start < path.sub.size();) {
    size_t end = std::min(path.sub.find('\\', start), path.sub.size());
    const std::string name = path.sub.substr(start, end - start);
    const size_t length = qv::ToUtf16(name).size();
    if (length > kMaxKeyName) {
      problem = "bad key path: the key name \"" + qv::ToUtf8(qv::ToUtf16(name).substr(0, 24)) + "...\" has " +
                std::to_string(length) + " characters; a key name has at most 255";
      return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace qv::cli

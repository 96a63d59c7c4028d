#include "RegistryKey.h"

#include <qv/utf.h>

#include <utility>

namespace qv::cli {

LSTATUS RegistryKey::Open(HKEY root, const std::u16string& path) {
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, key_.Out());
}

LSTATUS RegistryKey::Create(HKEY root, const std::u16string& path) {
  return RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                         key_.Out(), nullptr);
}

LSTATUS RegistryKey::SubkeyNames(std::vector<std::u16string>& names) const {
  names.clear();
  std::u16string name(256, u'\0');  // key names are at most 255 characters on Windows
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    LSTATUS status = RegEnumKeyExW(key_.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) {
      name.resize(name.size() * 2);
      --index;
      continue;
    }
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    names.emplace_back(name.data(), length);
  }
}

LSTATUS RegistryKey::Values(std::vector<RegistryValue>& values) const {
  values.clear();
  std::u16string name(256, u'\0');
  std::string data(256, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LSTATUS status = RegEnumValueW(key_.Get(), index, name.data(), &nameLength, nullptr, &type,
                                   reinterpret_cast<BYTE*>(data.data()), &dataSize);
    if (status == ERROR_MORE_DATA) {
      // The name or the data did not fit: grow whichever and ask again.
      if (dataSize > data.size())
        data.resize(dataSize);
      else
        name.resize(name.size() * 2);
      --index;
      continue;
    }
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    values.push_back({std::u16string(name.data(), nameLength), type, data.substr(0, dataSize)});
  }
}

LSTATUS RegistryKey::Query(const std::u16string& name, RegistryValue& value) const {
  value.name = name;
  while (true) {
    DWORD size = static_cast<DWORD>(value.data.size());
    LSTATUS status = RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &value.type,
                                      reinterpret_cast<BYTE*>(value.data.data()), &size);
    if (status == ERROR_MORE_DATA) {
      value.data.resize(size);
      continue;
    }
    if (status == ERROR_SUCCESS) value.data.resize(size);
    return status;
  }
}

LSTATUS RegistryKey::Set(const RegistryValue& value) const {
  return RegSetValueExW(key_.Get(), value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                        static_cast<DWORD>(value.data.size()));
}

LSTATUS RegistryKey::Delete(const std::u16string& valueName) const {
  return RegDeleteValueW(key_.Get(), valueName.c_str());
}

namespace {

// One key on the way down: open, with the names of its subkeys and how many were visited.
struct Level {
  RegistryKey key;
  std::vector<std::u16string> children;
  size_t next = 0;
  size_t pathLength = 0;  // of the walk's path before this key's name was added
};

}  // namespace

LSTATUS DeleteTree(HKEY root, const std::u16string& path) {
  // Deepest first, without recursion: a key is deleted once its subkeys are gone.
  std::vector<Level> levels(1);
  if (LSTATUS status = levels.back().key.Open(root, path)) return status;
  if (LSTATUS status = levels.back().key.SubkeyNames(levels.back().children)) return status;
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.children.size()) {
      const std::u16string name = levels.size() == 1 ? path : levels[levels.size() - 2].children[levels[levels.size() - 2].next - 1];
      levels.pop_back();
      const HKEY parent = levels.empty() ? root : levels.back().key.Get();
      if (LSTATUS status = RegDeleteKeyW(parent, name.c_str()); status && status != ERROR_FILE_NOT_FOUND)
        return status;
      continue;
    }
    const std::u16string& child = level.children[level.next++];
    Level below;
    LSTATUS status = below.key.Open(level.key.Get(), child);
    if (status == ERROR_FILE_NOT_FOUND) continue;  // gone meanwhile
    if (status) return status;
    if (LSTATUS listed = below.key.SubkeyNames(below.children)) return listed;
    levels.push_back(std::move(below));
  }
  return ERROR_SUCCESS;
}

LSTATUS WalkTree(const RegistryKey& key, const std::string& path,
                 const std::function<LSTATUS(const RegistryKey&, const std::string&)>& visit,
                 std::string& failedPath) {
  std::string current = path;
  failedPath = path;
  if (LSTATUS status = visit(key, current)) return status;
  std::vector<Level> levels(1);
  if (LSTATUS status = key.SubkeyNames(levels.back().children)) return status;
  levels.back().pathLength = current.size();
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.children.size()) {
      levels.pop_back();
      continue;
    }
    const std::u16string& child = level.children[level.next++];
    const HKEY parent = levels.size() == 1 ? key.Get() : level.key.Get();
    current.resize(level.pathLength);
    // Appended piece by piece: g++ 12 at -O3 gives a false -Wrestrict for "\\" + std::string.
    current += '\\';
    current += qv::ToUtf8(child);
    failedPath = current;
    Level below;
    below.pathLength = current.size();
    if (LSTATUS status = below.key.Open(parent, child)) return status;
    if (LSTATUS status = visit(below.key, current)) return status;
    if (LSTATUS status = below.key.SubkeyNames(below.children)) return status;
    levels.push_back(std::move(below));
  }
  return ERROR_SUCCESS;
}

}  // namespace qv::cli

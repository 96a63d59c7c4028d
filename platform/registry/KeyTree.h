// The tree of keys and their values as stored: every key a row with its parent, its name as
// created and its folded name (the one compared); every value a row of its key with its type
// and raw bytes. Names here are UTF-8. Key ids are never reused, so a handle to a deleted key
// keeps answering ERROR_KEY_DELETED even after a key of the same name is created again.
#pragma once
#include "Database.h"

#include <windef.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::registry {

constexpr int64_t kRootKeyId = 1;  // HKEY_LOCAL_MACHINE

struct ValueRecord {
  std::string name;
  DWORD type = 0;
  std::string data;
};

// Splits a subkey path at "\". One trailing "\" is allowed; a leading one or an empty element
// gives ERROR_BAD_PATHNAME.
LSTATUS SplitKeyPath(std::string_view path, std::vector<std::string>& elements);

// The rules a path of keys to be created must meet, checked before anything is created:
// every name at most kMaxKeyNameLength UTF-16 characters, as Windows has it. Programs
// enumerate subkeys into buffers of that size, so a longer name would end their lists early.
// ERROR_INVALID_PARAMETER when a rule is broken. Keys that exist already open and delete
// whatever their names.
constexpr size_t kMaxKeyNameLength = 255;
LSTATUS CheckNewKeyPath(const std::vector<std::string>& elements);

class KeyTree {
 public:
  explicit KeyTree(Database& db) : db_(db) {}

  // Creates the tables of a new store, with the root key.
  static void CreateTables(Database& db);

  bool Exists(int64_t key);
  std::optional<int64_t> FindChild(int64_t parent, std::string_view name);
  int64_t AddChild(int64_t parent, std::string_view name);
  // Follows `path` below `start`; nothing when an element is missing.
  std::optional<int64_t> Walk(int64_t start, const std::vector<std::string>& path);
  // Follows `path` below `start`, creating what is missing; `created` tells whether the last
  // key was new.
  int64_t WalkCreating(int64_t start, const std::vector<std::string>& path, bool& created);

  bool HasChildren(int64_t key);
  void RemoveKey(int64_t key);  // its values too; the caller checks it has no subkeys
  std::optional<std::string> ChildAt(int64_t key, int64_t index);  // in name order
  std::vector<std::string> Children(int64_t key);                  // in name order

  std::optional<ValueRecord> GetValue(int64_t key, std::string_view name);
  void SetValue(int64_t key, std::string_view name, DWORD type, std::string_view data);
  bool DeleteValue(int64_t key, std::string_view name);
  std::optional<ValueRecord> ValueAt(int64_t key, int64_t index);  // in creation order
  std::vector<ValueRecord> Values(int64_t key);                     // in creation order

 private:
  std::optional<int64_t> WalkElements(int64_t start, const std::vector<std::string>& path);
  static constexpr size_t kMemoLimit = 4096;

  Database& db_;
};

}  // namespace qv::registry

#include "KeyTree.h"

#include "NameFold.h"

#include <qv/utf.h>

namespace qv::registry {

LSTATUS SplitKeyPath(std::string_view path, std::vector<std::string>& elements) {
  elements.clear();
  if (path.empty()) return ERROR_SUCCESS;
  if (path.back() == '\\') path.remove_suffix(1);
  if (path.empty() || path.front() == '\\') return ERROR_BAD_PATHNAME;
  size_t start = 0;
  while (true) {
    size_t end = path.find('\\', start);
    std::string_view element = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
    if (element.empty()) return ERROR_BAD_PATHNAME;
    elements.emplace_back(element);
    if (end == std::string_view::npos) return ERROR_SUCCESS;
    start = end + 1;
  }
}

LSTATUS CheckNewKeyPath(const std::vector<std::string>& elements) {
  for (const std::string& element : elements)
    if (qv::ToUtf16(element).size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

void KeyTree::CreateTables(Database& db) {
  db.Exec(
      "CREATE TABLE keys("
      " id INTEGER PRIMARY KEY AUTOINCREMENT,"
      " parent INTEGER NOT NULL,"
      " name TEXT NOT NULL,"
      " fold TEXT NOT NULL,"
      " UNIQUE(parent, fold));"
      "CREATE TABLE vals("
      " key INTEGER NOT NULL,"
      " name TEXT NOT NULL,"
      " fold TEXT NOT NULL,"
      " type INTEGER NOT NULL,"
      " data BLOB NOT NULL,"
      " UNIQUE(key, fold));"
      "INSERT INTO keys(id, parent, name, fold)"
      " VALUES(1, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE');");
}

bool KeyTree::Exists(int64_t key) {
  return db_.Prepare("SELECT 1 FROM keys WHERE id = ?").Bind(1, key).Step();
}

std::optional<int64_t> KeyTree::FindChild(int64_t parent, std::string_view name) {
  Statement find = db_.Prepare("SELECT id FROM keys WHERE parent = ? AND fold = ?");
  find.Bind(1, parent).Bind(2, FoldName(name));
  if (!find.Step()) return std::nullopt;
  return find.Int(0);
}

int64_t KeyTree::AddChild(int64_t parent, std::string_view name) {
  db_.Prepare("INSERT INTO keys(parent, name, fold) VALUES(?, ?, ?)")
      .Bind(1, parent)
      .Bind(2, name)
      .Bind(3, FoldName(name))
      .Step();
  return db_.LastInsertId();
}

// A path resolved before is taken from the connection's memo when its key still exists: ids
// are never reused, a key is deleted only after its subkeys and never renamed, so a key that
// still exists still has the ancestors and names it was found under. One query then stands
// for one per element. What is missing is always looked up afresh.
std::optional<int64_t> KeyTree::Walk(int64_t start, const std::vector<std::string>& path) {
  if (path.size() < 2) return WalkElements(start, path);
  std::string memoKey = std::to_string(start);
  for (const std::string& element : path) {
    memoKey += '\\';
    memoKey += FoldName(element);
  }
  auto& memo = db_.ResolvedPaths();
  if (auto found = memo.find(memoKey); found != memo.end()) {
    if (Exists(found->second)) return found->second;
    memo.erase(found);
  }
  std::optional<int64_t> key = WalkElements(start, path);
  if (key) {
    if (memo.size() >= kMemoLimit) memo.clear();
    memo.emplace(std::move(memoKey), *key);
  }
  return key;
}

std::optional<int64_t> KeyTree::WalkElements(int64_t start, const std::vector<std::string>& path) {
  int64_t key = start;
  for (const std::string& element : path) {
    std::optional<int64_t> child = FindChild(key, element);
    if (!child) return std::nullopt;
    key = *child;
  }
  return key;
}

int64_t KeyTree::WalkCreating(int64_t start, const std::vector<std::string>& path, bool& created) {
  int64_t key = start;
  created = false;
  for (const std::string& element : path) {
    std::optional<int64_t> child = FindChild(key, element);
    created = !child;
    key = child ? *child : AddChild(key, element);
  }
  return key;
}

bool KeyTree::HasChildren(int64_t key) {
  return db_.Prepare("SELECT 1 FROM keys WHERE parent = ? LIMIT 1").Bind(1, key).Step();
}

void KeyTree::RemoveKey(int64_t key) {
  db_.Prepare("DELETE FROM vals WHERE key = ?").Bind(1, key).Step();
  db_.Prepare("DELETE FROM keys WHERE id = ?").Bind(1, key).Step();
}

std::optional<std::string> KeyTree::ChildAt(int64_t key, int64_t index) {
  Statement child = db_.Prepare("SELECT name FROM keys WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?");
  child.Bind(1, key).Bind(2, index);
  if (!child.Step()) return std::nullopt;
  return child.Text(0);
}

std::optional<ValueRecord> KeyTree::GetValue(int64_t key, std::string_view name) {
  Statement get = db_.Prepare("SELECT name, type, data FROM vals WHERE key = ? AND fold = ?");
  get.Bind(1, key).Bind(2, FoldName(name));
  if (!get.Step()) return std::nullopt;
  return ValueRecord{get.Text(0), static_cast<DWORD>(get.Int(1)), get.Blob(2)};
}

void KeyTree::SetValue(int64_t key, std::string_view name, DWORD type, std::string_view data) {
  // An existing value keeps the case of its name and its place in the enumeration order.
  db_.Prepare(
         "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?)"
         " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data")
      .Bind(1, key)
      .Bind(2, name)
      .Bind(3, FoldName(name))
      .Bind(4, static_cast<int64_t>(type))
      .BindBlob(5, data.data(), data.size())
      .Step();
}

bool KeyTree::DeleteValue(int64_t key, std::string_view name) {
  db_.Prepare("DELETE FROM vals WHERE key = ? AND fold = ?").Bind(1, key).Bind(2, FoldName(name)).Step();
  return db_.Changes() > 0;
}

std::optional<ValueRecord> KeyTree::ValueAt(int64_t key, int64_t index) {
  Statement value = db_.Prepare("SELECT name, type, data FROM vals WHERE key = ? ORDER BY rowid LIMIT 1 OFFSET ?");
  value.Bind(1, key).Bind(2, index);
  if (!value.Step()) return std::nullopt;
  return ValueRecord{value.Text(0), static_cast<DWORD>(value.Int(1)), value.Blob(2)};
}

std::vector<ValueRecord> KeyTree::Values(int64_t key) {
  Statement all = db_.Prepare("SELECT name, type, data FROM vals WHERE key = ? ORDER BY rowid");
  all.Bind(1, key);
  std::vector<ValueRecord> values;
  while (all.Step()) values.push_back(ValueRecord{all.Text(0), static_cast<DWORD>(all.Int(1)), all.Blob(2)});
  return values;
}

std::vector<std::string> KeyTree::Children(int64_t key) {
  Statement children = db_.Prepare("SELECT name FROM keys WHERE parent = ? ORDER BY fold");
  children.Bind(1, key);
  std::vector<std::string> names;
  while (children.Step()) names.push_back(children.Text(0));
  return names;
}

}  // namespace qv::registry

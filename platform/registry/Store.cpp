#include "Store.h"

#include "KeyTree.h"

#include <qv/prefix.h>
#include <qv/registry_store.h>
#include <winreg.h>

#include <pthread.h>

#include <filesystem>
#include <vector>

namespace qv::registry {

namespace {

constexpr int64_t kSchemaVersion = 1;

std::string WideBytes(std::u16string_view text) {
  // REG_SZ as the wide calls store it: UTF-16 with its terminator.
  std::string bytes((text.size() + 1) * sizeof(char16_t), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return bytes;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The content of a new prefix's registry: the classes key HKEY_CLASSES_ROOT stands for, and
// the drive table with C: on the prefix's own drive_c folder and Z: on the host's root.
void SeedDefaults(Database& db, const std::string& prefix) {
  KeyTree tree(db);
  bool created = false;
  tree.WalkCreating(kRootKeyId, {"SOFTWARE", "Classes"}, created);
  int64_t drives = tree.WalkCreating(
      kRootKeyId, {"SYSTEM", "CurrentControlSet", "Control", "Session Manager", "DOS Devices"}, created);
  std::string driveC = prefix + "/drive_c";
  std::error_code ignored;
  std::filesystem::create_directories(driveC, ignored);
  tree.SetValue(drives, "C:", REG_SZ, WideBytes(Widen(driveC)));
  tree.SetValue(drives, "Z:", REG_SZ, WideBytes(u"/"));
}

}  // namespace

Store& Store::Instance() {
  static Store* store = new Store;  // outlives every static destructor
  return *store;
}

Store::Store() { pthread_atfork(&Store::BeforeFork, &Store::AfterForkInParent, &Store::AfterForkInChild); }

// The connection is closed before every fork(), under the lock, so neither process ever holds
// an SQLite connection (or its locks' bookkeeping) that the other one also has; the parent
// reopens on its next call.
void Store::BeforeFork() {
  Store& store = Instance();
  store.mutex_.lock();
  store.db_.reset();
}

void Store::AfterForkInParent() { Instance().mutex_.unlock(); }

void Store::AfterForkInChild() {
  Instance().mutex_.unlock();
}

void Store::Close() {
  std::lock_guard lock(mutex_);
  db_.reset();
  brokenPath_.clear();
}

// No process id check here: fork() runs the handlers above, so a child never finds the
// parent's connection open, and the check cost a system call on every registry call.
Database& Store::OpenLocked() {
  if (db_) return *db_;
  std::string prefix = qv::PrefixDir();
  std::string path = prefix + "/registry.db";
  if (path == brokenPath_) throw StoreError(ERROR_REGISTRY_CORRUPT);
  try {
    auto db = std::make_unique<Database>(path);
    Prepare(*db);
    db_ = std::move(db);
    return *db_;
  } catch (const StoreError& error) {
    if (error.Status() == ERROR_REGISTRY_CORRUPT) brokenPath_ = path;
    throw;
  }
}

int64_t Store::SchemaVersion(Database& db) {
  Statement read = db.Prepare("PRAGMA user_version");
  read.Step();
  return read.Int(0);
}

// Reads the file before anything is written to it: a damaged or foreign file is refused
// here, untouched. Only then is the log turned on and, for a new file, the tables made.
void Store::Prepare(Database& db) {
  int64_t version = SchemaVersion(db);
  const char* tablesQuery = version == kSchemaVersion
                                ? "SELECT count(*) = 2 FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'vals')"
                                : "SELECT count(*) = 0 FROM sqlite_master";
  bool expected = false;
  {
    Statement tables = db.Prepare(tablesQuery);
    tables.Step();
    expected = tables.Int(0) != 0;
  }
  if (version != kSchemaVersion && version != 0) db.Refuse("unknown format version");
  if (!expected) db.Refuse(version == 0 ? "it holds other tables" : "its tables are missing");

  db.Exec("PRAGMA journal_mode=WAL");
  if (version == kSchemaVersion) return;
  Transaction transaction(db, true);
  if (SchemaVersion(db) == kSchemaVersion) return;  // another process made it meanwhile
  KeyTree::CreateTables(db);
  SeedDefaults(db, std::filesystem::path(db.Path()).parent_path().string());
  db.Exec("PRAGMA user_version = 1");
  transaction.Commit();
}

void Store::Checkpoint(bool always) {
  std::lock_guard lock(mutex_);
  if (db_) db_->Checkpoint(always);
}

}  // namespace qv::registry

namespace qv {

void CheckpointRegistry(bool always) {
  try {
    registry::Store::Instance().Checkpoint(always);
  } catch (...) {
    // Only upkeep: the log is replayed by the next process instead.
  }
}

uint64_t RegistryTransactionCount() { return registry::Transaction::Count(); }

}  // namespace qv

#include "Database.h"

#include "KeptLogVfs.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>
#include <set>

namespace qv::registry {

namespace {
constexpr auto kBusyTimeout = std::chrono::seconds(30);

// Waits for another process's write to end. SQLite's own timeout sleeps in steps of up to
// 100 ms, far longer than a registry write holds the lock; short sleeps keep many
// processes writing at once from queueing behind those naps.
int WaitWhileBusy(void* start, int attempt) {
  auto& since = *static_cast<std::chrono::steady_clock::time_point*>(start);
  auto now = std::chrono::steady_clock::now();
  if (attempt == 0) since = now;
  if (now - since > kBusyTimeout) return 0;
  std::this_thread::sleep_for(std::chrono::microseconds(std::min(1000, 20 << std::min(attempt, 6))));
  return 1;
}

// A damaged or unreadable store is reported once per process and file, however often callers
// retry; the status keeps telling each caller.
bool FirstReportFor(const std::string& path) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard lock(mutex);
  return reported.insert(path).second;
}
}  // namespace

LSTATUS StatusFromSqlite(int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return ERROR_REGISTRY_CORRUPT;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_CANTOPEN;
    case SQLITE_READONLY:
      return ERROR_CANTWRITE;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_OUTOFMEMORY;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

Statement::~Statement() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Statement& Statement::Bind(int index, int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  int rc = sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::BindBlob(int index, const void* data, size_t size) {
  // A zero-length blob must still be a blob, not NULL: bind a non-null pointer.
  static const char kEmpty = 0;
  int rc = sqlite3_bind_blob64(stmt_, index, size ? data : &kEmpty, size, SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_.Fail(rc);
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  int size = sqlite3_column_bytes(stmt_, column);
  return text ? std::string(reinterpret_cast<const char*>(text), size) : std::string();
}

std::string Statement::Blob(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  int size = sqlite3_column_bytes(stmt_, column);
  return data ? std::string(static_cast<const char*>(data), size) : std::string();
}

Database::Database(const std::string& path) : path_(path) {
  int rc = sqlite3_open_v2(path.c_str(), &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, KeptLogVfsName());
  if (rc != SQLITE_OK) {
    if (!db_) throw StoreError(ERROR_OUTOFMEMORY);
    try {
      Fail(rc);
    } catch (...) {
      sqlite3_close(db_);
      throw;
    }
  }
  try {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_handler(db_, &WaitWhileBusy, &busySince_);
    // Every commit is flushed: a serial number or job number once issued is never issued
    // again, even after a power cut.
    Exec("PRAGMA synchronous=FULL");
    // A short log: the first process to open the store after the last one closed replays the
    // whole log, which costs time in proportion to its length. The hook checkpoints once the
    // log holds kAutoCheckpointPages (as wal_autocheckpoint would) and remembers its length.
    sqlite3_wal_hook(db_, &Database::AfterCommit, this);
  } catch (...) {
    sqlite3_close(db_);
    throw;
  }
}

Database::~Database() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

Statement Database::Prepare(const char* sql) {
  auto found = statements_.find(sql);
  if (found != statements_.end()) return Statement(*this, found->second);
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
  statements_.emplace(sql, stmt);
  return Statement(*this, stmt);
}

void Database::Exec(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
}

int64_t Database::DataVersion() {
  Statement version = Prepare("PRAGMA data_version");
  version.Step();
  return version.Int(0);
}

bool Database::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

int64_t Database::Changes() const { return sqlite3_changes64(db_); }

int64_t Database::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

void Database::Fail(int rc) {
  LSTATUS status = StatusFromSqlite(rc);
  if ((status == ERROR_REGISTRY_CORRUPT || status == ERROR_CANTOPEN) && FirstReportFor(path_)) {
    const char* detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    if (status == ERROR_REGISTRY_CORRUPT)
      std::fprintf(stderr,
                   "quorvane: the registry store %s is damaged or is not a registry database (%s); "
                   "it was left as it is\n",
                   path_.c_str(), detail);
    else
      std::fprintf(stderr, "quorvane: cannot open the registry store %s (%s)\n", path_.c_str(), detail);
  }
  throw StoreError(status);
}

void Database::Refuse(const char* reason) {
  if (FirstReportFor(path_))
    std::fprintf(stderr, "quorvane: the registry store %s is not a registry database (%s); it was left as it is\n",
                 path_.c_str(), reason);
  throw StoreError(ERROR_REGISTRY_CORRUPT);
}

std::atomic<uint64_t> Transaction::count_{0};

Transaction::Transaction(Database& db, bool write) : db_(db) {
  count_.fetch_add(1, std::memory_order_relaxed);
  db_.Prepare(write ? "BEGIN IMMEDIATE" : "BEGIN").Step();
  open_ = true;
}

Transaction::~Transaction() {
  if (!open_ || !db_.InTransaction()) return;
  try {
    db_.Prepare("ROLLBACK").Step();
  } catch (...) {
    // The failed statement may already have ended the transaction; nothing is left to undo.
  }
}

void Transaction::Commit() {
  db_.Prepare("COMMIT").Step();
  open_ = false;
}

int Database::AfterCommit(void* self, sqlite3* db, const char* name, int pages) {
  auto* database = static_cast<Database*>(self);
  database->logPages_ = pages;
  if (pages >= kAutoCheckpointPages) {
    int logged = 0, copied = 0;
    if (sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, &logged, &copied) == SQLITE_OK && logged == copied)
      database->logPages_ = 0;
  }
  return SQLITE_OK;
}

void Database::Checkpoint(bool always) {
  if (!always && logPages_ < kExitCheckpointPages) return;
  // TRUNCATE: the log file is emptied too, so nothing is left to replay.
  if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) == SQLITE_OK) logPages_ = 0;
}

}  // namespace qv::registry


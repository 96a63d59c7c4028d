// One SQLite connection to the registry store, with its prepared statements, and the small
// objects that use it: a statement in use and a transaction. Failures throw StoreError with the
// registry status the caller returns.
#pragma once
#include "ReadCache.h"

#include <winerror.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace qv::registry {

class StoreError : public std::exception {
 public:
  explicit StoreError(LSTATUS status) : status_(status) {}
  LSTATUS Status() const { return status_; }
  const char* what() const noexcept override { return "registry store failure"; }

 private:
  LSTATUS status_;
};

class Database;

// A cached prepared statement in use; reset and unbound when it goes out of scope.
class Statement {
 public:
  Statement(Database& db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view text);
  Statement& BindBlob(int index, const void* data, size_t size);

  // Advances to the next row; false when there is none.
  bool Step();
  int64_t Int(int column) const;
  std::string Text(int column) const;
  std::string Blob(int column) const;

 private:
  Database& db_;
  sqlite3_stmt* stmt_;
};

class Database {
 public:
  // Opens (creating if missing) the file; never replaces an existing file.
  explicit Database(const std::string& path);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& Path() const { return path_; }
  Statement Prepare(const char* sql);
  void Exec(const char* sql);
  bool InTransaction() const;
  // Copies the write-ahead log into the database and empties it; failures are ignored. Unless
  // `always`, only a log of kExitCheckpointPages or more is checkpointed: emptying a short log
  // costs two flushes now and two more (a new log's header, its folder) at the next commit,
  // more than replaying it costs the next process.
  void Checkpoint(bool always);
  static constexpr int kAutoCheckpointPages = 64;
  static constexpr int kExitCheckpointPages = 24;
  int64_t Changes() const;
  int64_t LastInsertId() const;

  // Key paths this connection has resolved: "<start id>\<folded path>" to the key's id. Kept
  // with the connection, so a store opened afresh (another prefix, a forked child) starts empty.
  std::unordered_map<std::string, int64_t>& ResolvedPaths() { return resolvedPaths_; }
  ReadCache& Reads() { return reads_; }
  // PRAGMA data_version: changes whenever another connection has committed.
  int64_t DataVersion();

  // Turns an SQLite result code into a StoreError, reporting a damaged or unreadable store
  // once on stderr with the file's name.
  [[noreturn]] void Fail(int rc);
  // Refuses a readable file that is not a registry store, the same way.
  [[noreturn]] void Refuse(const char* reason);

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
  std::unordered_map<std::string, int64_t> resolvedPaths_;
  ReadCache reads_;
  int logPages_ = 0;  // the log's length after this connection's last commit
  static int AfterCommit(void* self, sqlite3* db, const char* name, int pages);
  std::chrono::steady_clock::time_point busySince_;
};

// One call's transaction: BEGIN IMMEDIATE for writers, so concurrent writers queue on the busy
// timeout instead of failing on a lock upgrade. Rolled back unless committed.
class Transaction {
 public:
  Transaction(Database& db, bool write);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();
  // Transactions begun in this process so far.
  static uint64_t Count() { return count_.load(std::memory_order_relaxed); }

 private:
  static std::atomic<uint64_t> count_;
  Database& db_;
  bool open_ = false;
};

// Maps an SQLite result code to a registry status.
LSTATUS StatusFromSqlite(int rc);

}  // namespace qv::registry

// The process's registry store: one connection to <prefix>/registry.db, opened on first use,
// shared by all threads under one lock, and never carried into a forked child (SQLite
// connections must not cross fork()).
#pragma once
#include "Database.h"

#include <memory>
#include <mutex>
#include <string>

namespace qv::registry {

class Store {
 public:
  static Store& Instance();

  // Runs work(Database&) under the store's lock, opening the store first if needed.
  template <class Work>
  auto Use(Work&& work) {
    std::lock_guard lock(mutex_);
    return work(OpenLocked());
  }

  // Closes the connection; the next use opens the store of the prefix then in force.
  void Close();
  // Empties the write-ahead log into the database, when this process has the store open (see
  // Database::Checkpoint for `always`).
  void Checkpoint(bool always);

 private:
  Store();
  Database& OpenLocked();
  static int64_t SchemaVersion(Database& db);
  static void Prepare(Database& db);
  static void BeforeFork();
  static void AfterForkInParent();
  static void AfterForkInChild();

  std::mutex mutex_;
  std::unique_ptr<Database> db_;
  std::string brokenPath_;  // a store found damaged is not reopened until Close()
};

}  // namespace qv::registry

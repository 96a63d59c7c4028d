#include "LegacyRegistry.h"

#include <qv/prefix.h>

#include <sqlite3.h>

#include <cctype>
#include <stdexcept>

namespace qv::testing {
namespace {

std::string FoldAscii(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

class Connection {
 public:
  explicit Connection(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
      throw std::runtime_error("cannot open " + path);
    sqlite3_busy_timeout(db_, 30000);
  }
  ~Connection() { sqlite3_close(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs `sql` with ?1 the parent id, ?2 a name and ?3 its folded form (the statement uses
  // the ones it needs); the first column of the first row, or -1.
  sqlite3_int64 Run(const char* sql, sqlite3_int64 parent, const std::string& text) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
    sqlite3_bind_int64(statement, 1, parent);
    sqlite3_bind_text(statement, 2, text.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 3, FoldAscii(text).c_str(), -1, SQLITE_TRANSIENT);
    const int step = sqlite3_step(statement);
    const sqlite3_int64 result = step == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    if (step != SQLITE_ROW && step != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    return result;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace

void PlantKeyPastTheChecks(const std::string& parentPath, const std::string& name) {
  Connection db(qv::PrefixDir() + "/registry.db");
  sqlite3_int64 key = 1;  // HKEY_LOCAL_MACHINE
  for (size_t start = 0; start <= parentPath.size();) {
    size_t end = parentPath.find('\\', start);
    if (end == std::string::npos) end = parentPath.size();
    const std::string element = parentPath.substr(start, end - start);
    key = db.Run("SELECT id FROM keys WHERE parent = ?1 AND fold = ?3", key, element);
    if (key < 0) throw std::runtime_error("no key " + element + " in " + parentPath);
    start = end + 1;
  }
  db.Run("INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)", key, name);
}

}  // namespace qv::testing

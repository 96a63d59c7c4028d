// Registry reads and writes per second, against raw SQLite doing the same single-row work
// (one transaction per call, the same WAL and synchronous=FULL settings) in the same run.
// Counters: registry_per_s, sqlite_per_s and cost_ratio (registry time / SQLite time).
#include <TempPrefix.h>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kNames = 1000;

// The baseline: one table of named blobs, one transaction per read or write.
class RawStore {
 public:
  explicit RawStore(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("cannot open the baseline");
    Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
         "CREATE TABLE vals(name TEXT PRIMARY KEY, type INTEGER, data BLOB)");
    begin_ = Prepare("BEGIN");
    beginWrite_ = Prepare("BEGIN IMMEDIATE");
    commit_ = Prepare("COMMIT");
    upsert_ = Prepare(
        "INSERT INTO vals(name, type, data) VALUES(?, 4, ?)"
        " ON CONFLICT(name) DO UPDATE SET type = excluded.type, data = excluded.data");
    select_ = Prepare("SELECT type, data FROM vals WHERE name = ?");
  }
  ~RawStore() {
    for (sqlite3_stmt* stmt : {begin_, beginWrite_, commit_, upsert_, select_}) sqlite3_finalize(stmt);
    sqlite3_close(db_);
  }

  void Write(const std::string& name, DWORD value) {
    Run(beginWrite_);
    sqlite3_bind_text(upsert_, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_blob(upsert_, 2, &value, sizeof value, SQLITE_STATIC);
    Run(upsert_);
    Run(commit_);
  }

  DWORD Read(const std::string& name) {
    Run(begin_);
    sqlite3_bind_text(select_, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    DWORD value = 0;
    if (sqlite3_step(select_) == SQLITE_ROW) std::memcpy(&value, sqlite3_column_blob(select_, 1), sizeof value);
    sqlite3_reset(select_);
    Run(commit_);
    return value;
  }

 private:
  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db_));
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db_));
    return stmt;
  }
  void Run(sqlite3_stmt* stmt) {
    sqlite3_step(stmt);
    sqlite3_reset(stmt);
  }

  sqlite3* db_ = nullptr;
  sqlite3_stmt *begin_, *beginWrite_, *commit_, *upsert_, *select_;
};

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (int i = 0; i < kNames; ++i) names.push_back("Value" + std::to_string(i));
  return names;
}

HKEY BenchKey() {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Drennic\\Quorvane\\Bench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                  &key, nullptr);
  return key;
}

// Times `registry` and `baseline` alternately, one call each per iteration; the benchmark's
// own time is the registry's.
template <class Registry, class Baseline>
void Compare(benchmark::State& state, Registry registry, Baseline baseline) {
  Clock::duration registryTime{}, baselineTime{};
  int64_t index = 0;
  for (auto _ : state) {
    int i = static_cast<int>(index++ % kNames);
    auto start = Clock::now();
    registry(i);
    auto middle = Clock::now();
    baseline(i);
    auto end = Clock::now();
    registryTime += middle - start;
    baselineTime += end - middle;
    state.SetIterationTime(std::chrono::duration<double>(middle - start).count());
  }
  double registrySeconds = std::chrono::duration<double>(registryTime).count();
  double baselineSeconds = std::chrono::duration<double>(baselineTime).count();
  state.counters["registry_per_s"] = static_cast<double>(index) / registrySeconds;
  state.counters["sqlite_per_s"] = static_cast<double>(index) / baselineSeconds;
  state.counters["cost_ratio"] = registrySeconds / baselineSeconds;
}

void RegistryWrite(benchmark::State& state) {
  qv::testing::TempPrefix prefix;
  HKEY key = BenchKey();
  RawStore raw(prefix.Path("baseline.db"));
  std::vector<std::string> names = Names();
  Compare(
      state,
      [&](int i) {
        DWORD value = static_cast<DWORD>(i);
        RegSetValueExA(key, names[i].c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
      },
      [&](int i) { raw.Write(names[i], static_cast<DWORD>(i)); });
  RegCloseKey(key);
}

void RegistryRead(benchmark::State& state) {
  qv::testing::TempPrefix prefix;
  HKEY key = BenchKey();
  RawStore raw(prefix.Path("baseline.db"));
  std::vector<std::string> names = Names();
  for (int i = 0; i < kNames; ++i) {
    DWORD value = static_cast<DWORD>(i);
    RegSetValueExA(key, names[i].c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    raw.Write(names[i], value);
  }
  Compare(
      state,
      [&](int i) {
        DWORD value = 0, size = sizeof value;
        RegQueryValueExA(key, names[i].c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        benchmark::DoNotOptimize(value);
      },
      [&](int i) { benchmark::DoNotOptimize(raw.Read(names[i])); });
  RegCloseKey(key);
}

// The monitor's and job processor's usual pattern: open a key by path, read one value, close.
void RegistryOpenReadClose(benchmark::State& state) {
  qv::testing::TempPrefix prefix;
  HKEY key = BenchKey();
  RawStore raw(prefix.Path("baseline.db"));
  DWORD value = 7;
  RegSetValueExA(key, "SerialNumber", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  raw.Write("SerialNumber", value);
  RegCloseKey(key);
  Compare(
      state,
      [&](int) {
        HKEY opened = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Drennic\\Quorvane\\Bench", 0, KEY_READ, &opened);
        DWORD read = 0, size = sizeof read;
        RegQueryValueExA(opened, "SerialNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size);
        RegCloseKey(opened);
        benchmark::DoNotOptimize(read);
      },
      [&](int) { benchmark::DoNotOptimize(raw.Read("SerialNumber")); });
}

BENCHMARK(RegistryWrite)->UseManualTime();
BENCHMARK(RegistryRead)->UseManualTime();
BENCHMARK(RegistryOpenReadClose)->UseManualTime();

}  // namespace

// Many processes on one store at once: no value lost, no update lost, the file intact.
#include <TempPrefix.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

constexpr int kWriters = 4;
constexpr int kCounters = 4;
constexpr DWORD kValuesPerWriter = 2000;
constexpr DWORD kIncrementsPerCounter = 500;
constexpr const char* kKey = "SOFTWARE\\Drennic\\Concurrency";

HKEY CreateKey() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)) return nullptr;
  return key;
}

// "w<writer>-<i>", appended piece by piece: g++ 12 at -O3 gives a false -Wrestrict for
// "w" + std::string.
std::string ValueName(int writer, DWORD i) {
  std::string name = "w";
  name += std::to_string(writer);
  name += '-';
  name += std::to_string(i);
  return name;
}

// Child bodies return their exit code; they never use the test framework.
int WriteDistinctValues(int writer) {
  HKEY key = CreateKey();
  if (!key) return 10;
  for (DWORD i = 0; i < kValuesPerWriter; ++i) {
    std::string name = ValueName(writer, i);
    DWORD data = writer * 100000 + i;
    if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), 4)) return 11;
  }
  return RegCloseKey(key) ? 12 : 0;
}

// Read, add one, write: two separate registry calls, made atomic by the flock around them.
int IncrementCounter(const std::string& lockPath) {
  int lock = open(lockPath.c_str(), O_RDWR | O_CREAT, 0644);
  if (lock < 0) return 20;
  HKEY key = CreateKey();
  if (!key) return 21;
  for (DWORD i = 0; i < kIncrementsPerCounter; ++i) {
    if (flock(lock, LOCK_EX)) return 22;
    DWORD value = 0, size = sizeof value;
    LSTATUS read = RegQueryValueExA(key, "Counter", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND) return 23;
    ++value;
    if (RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4)) return 24;
    flock(lock, LOCK_UN);
  }
  close(lock);
  return RegCloseKey(key) ? 25 : 0;
}

TEST(RegistryProcessesTest, WritersAndCountersLoseNothing) {
  qv::testing::TempPrefix prefix;
  HKEY key = CreateKey();  // the parent's connection is open while it forks
  ASSERT_NE(key, nullptr);
  std::string lockPath = prefix.Path("counter.lock");

  std::vector<pid_t> children;
  for (int i = 0; i < kWriters + kCounters; ++i) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(i < kWriters ? WriteDistinctValues(i) : IncrementCounter(lockPath));
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  }

  for (int writer = 0; writer < kWriters; ++writer)
    for (DWORD i = 0; i < kValuesPerWriter; ++i) {
      std::string name = ValueName(writer, i);
      DWORD value = 0, size = sizeof value;
      ASSERT_EQ(RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), 0)
          << name;
      ASSERT_EQ(value, writer * 100000 + i);
    }
  DWORD counter = 0, size = sizeof counter;
  ASSERT_EQ(RegQueryValueExA(key, "Counter", nullptr, nullptr, reinterpret_cast<BYTE*>(&counter), &size), 0);
  EXPECT_EQ(counter, kCounters * kIncrementsPerCounter);
  RegCloseKey(key);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(prefix.Path("registry.db").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);
}

}  // namespace

namespace {

// Runs `change` in a child process (its own connection to the store) and waits for it.
template <class Change>
void InAnotherProcess(Change change) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(change() ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

LSTATUS ReadText(const char* path, std::string& text) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return status;
  char buffer[64] = {};
  DWORD size = sizeof buffer - 1;
  status = RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  text = buffer;
  return status;
}

bool WriteText(const char* path, const char* text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0)
    return false;
  LSTATUS status = RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                  static_cast<DWORD>(std::string(text).size() + 1));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool DeleteLeaf() {
  HKEY parent = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B", 0, KEY_ALL_ACCESS, &parent) != 0) return false;
  LSTATUS status = RegDeleteKeyA(parent, "C");
  RegCloseKey(parent);
  return status == ERROR_SUCCESS;
}

// A process that has looked a path up before must still see another process delete the key
// and create a new one under the same path.
TEST(RegistryAcrossProcesses, PathsLookedUpBeforeFollowChangesMadeElsewhere) {
  qv::testing::TempPrefix prefix;
  const char* path = "SOFTWARE\\A\\B\\C";
  ASSERT_TRUE(WriteText(path, "old"));
  std::string text;
  ASSERT_EQ(ReadText(path, text), ERROR_SUCCESS);
  EXPECT_EQ(text, "old");

  InAnotherProcess(DeleteLeaf);
  EXPECT_EQ(ReadText(path, text), ERROR_FILE_NOT_FOUND);

  InAnotherProcess([&] { return WriteText(path, "new"); });
  ASSERT_EQ(ReadText(path, text), ERROR_SUCCESS);
  EXPECT_EQ(text, "new");
}

}  // namespace

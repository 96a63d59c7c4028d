// A connection remembers what it read while the store is unchanged. Every change, made by this
// process or by another one, must show in the very next read.
#include <TempPrefix.h>
#include <gtest/gtest.h>
#include <qv/lock_file.h>
#include <qv/registry_store.h>
#include <windows.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kKey = "SOFTWARE\\Drennic\\Cache";

HKEY Open(const std::string& path) {
  HKEY key = nullptr;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS ? key : nullptr;
}

LSTATUS SetText(const std::string& path, const char* name, const std::string& text) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status) return status;
  status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return status;
}

// The value through a key opened afresh and through `held`, a handle opened before the change;
// "<status>" when a read fails, "<differs>" when the two reads disagree.
std::string Read(HKEY held, const char* name) {
  auto through = [&](HKEY key) -> std::string {
    if (!key) return "<no key>";
    char buffer[64] = {};
    DWORD size = sizeof buffer - 1;
    LSTATUS status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    if (status == ERROR_SUCCESS) return buffer;
    // Appended piece by piece: g++ 12 at -O3 gives a false -Wrestrict for "<" + std::string.
    std::string failed = "<";
    failed += std::to_string(status);
    failed += '>';
    return failed;
  };
  HKEY fresh = Open(kKey);
  std::string viaFresh = through(fresh);
  if (fresh) RegCloseKey(fresh);
  std::string viaHeld = through(held);
  return viaFresh == viaHeld || !held ? viaFresh : "<differs: " + viaFresh + " / " + viaHeld + ">";
}

std::string SubKeys() {
  HKEY key = Open(kKey);
  if (!key) return "<no key>";
  std::string names;
  WCHAR name[64];
  for (DWORD i = 0; RegEnumKeyW(key, i, name, 64) == ERROR_SUCCESS; ++i)
    names += std::string(name, name + std::char_traits<char16_t>::length(name)) + ";";
  RegCloseKey(key);
  std::vector<std::string> listed;
  if (qv::ReadRegistrySubKeys(kKey, listed) != ERROR_SUCCESS) return "<unreadable>";
  std::string again;
  for (const std::string& n : listed) again += n + ";";
  return names == again ? names : "<differs: " + names + " / " + again + ">";
}

struct Change {
  const char* name;
  std::function<void()> apply;
  std::function<std::string(HKEY)> look;  // what is read afterwards
  std::string before, after;
};

std::vector<Change> Changes() {
  std::string key = kKey;
  return {
      {"a value changed", [=] { SetText(key, "v", "new"); }, [](HKEY held) { return Read(held, "v"); }, "old", "new"},
      {"a value deleted",
       [=] {
         HKEY k = Open(key);
         RegDeleteValueA(k, "v");
         RegCloseKey(k);
       },
       [](HKEY held) { return Read(held, "v"); }, "old", "<2>"},
      {"a value added to a key read whole", [=] { SetText(key, "w", "added"); },
       [](HKEY held) { return Read(held, "w"); }, "<2>", "added"},
      {"a subkey added", [=] { SetText(key + "\\Second", "v", "x"); }, [](HKEY) { return SubKeys(); }, "First;",
       "First;Second;"},
      {"a subkey deleted", [=] { RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + "\\First").c_str()); },
       [](HKEY) { return SubKeys(); }, "First;", ""},
      {"the key deleted",
       [=] {
         RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + "\\First").c_str());
         RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
       },
       [](HKEY) { return Read(nullptr, "v"); }, "old", "<no key>"},
  };
}

void Seed() {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kKey) + "\\First").c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kKey) + "\\Second").c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
  SetText(kKey, "v", "old");
  SetText(std::string(kKey) + "\\First", "v", "x");
}

// Started as a separate program (posix_spawn runs no fork handlers, so the parent's connection
// and what it remembers stay as they are): applies the change QV_CACHE_CHANGE names.
TEST(RegistryReadCacheHelper, DISABLED_ApplyChange) {
  const char* wanted = std::getenv("QV_CACHE_CHANGE");
  ASSERT_NE(wanted, nullptr);
  for (const Change& change : Changes())
    if (change.name == std::string(wanted)) change.apply();
}

void ApplyInAnotherProcess(const Change& change) {
  std::string variable = std::string("QV_CACHE_CHANGE=") + change.name;
  std::vector<char*> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  env.push_back(variable.data());
  env.push_back(nullptr);
  std::string self = "/proc/self/exe";
  char arg0[] = "registry_tests", also[] = "--gtest_also_run_disabled_tests",
       filter[] = "--gtest_filter=RegistryReadCacheHelper.DISABLED_ApplyChange";
  char* argv[] = {arg0, also, filter, nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, env.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << change.name;
}

TEST(RegistryReadCacheTest, EveryChangeShowsInTheNextRead) {
  qv::testing::TempPrefix prefix;
  for (bool elsewhere : {false, true}) {
    for (const Change& change : Changes()) {
      Seed();
      HKEY held = Open(kKey);
      // Read twice: the second read is answered from what the connection remembers.
      EXPECT_EQ(change.look(held), change.before) << change.name;
      EXPECT_EQ(change.look(held), change.before) << change.name;
      if (elsewhere)
        ApplyInAnotherProcess(change);
      else
        change.apply();
      EXPECT_EQ(change.look(held), change.after) << change.name << (elsewhere ? ", in another process" : "");
      if (held) RegCloseKey(held);
    }
  }
}

TEST(RegistryReadCacheTest, RepeatedReadsCostNoTransaction) {
  qv::testing::TempPrefix prefix;
  Seed();
  Read(nullptr, "v");
  SubKeys();
  uint64_t before = qv::RegistryTransactionCount();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Read(nullptr, "v"), "old");
    EXPECT_EQ(SubKeys(), "First;");
  }
  EXPECT_EQ(qv::RegistryTransactionCount(), before);
}

// A job's reads look for other processes' commits when the job begins and after each lock
// shared with other processes; outside a job, and on other threads, every read still looks.
TEST(RegistryReadCacheTest, AJobSeesWhatOtherProcessesCommittedBeforeItBeganOrBeforeALock) {
  struct Case {
    const char* name;
    bool jobBeforeChange;  // the job began (and read) before the other process's change
    bool lockAfterChange;  // the job then took a lock shared with other processes
    bool otherThread;      // the value is read on another thread, outside any job
    bool innerJob;         // a job begun inside the first one after the change
    std::string seen;
  } cases[] = {
      {"a job begun after the change", false, false, false, false, "new"},
      {"a job that took a lock after the change", true, true, false, false, "new"},
      {"another thread, outside the job", true, false, true, false, "new"},
      {"a job begun inside the first one after the change", true, false, false, true, "new"},
      {"a job begun before the change, without a lock", true, false, false, false, "old"},
  };
  const Change change = Changes().front();  // a value changed
  qv::testing::TempPrefix prefix;
  for (const Case& c : cases) {
    Seed();
    EXPECT_EQ(Read(nullptr, "v"), "old") << c.name;
    std::optional<qv::RegistryReadsOfOneJob> job;
    if (c.jobBeforeChange) {
      job.emplace();
      EXPECT_EQ(Read(nullptr, "v"), "old") << c.name;
    }
    ApplyInAnotherProcess(change);
    if (!job) job.emplace();
    std::optional<qv::RegistryReadsOfOneJob> inner;
    if (c.innerJob) inner.emplace();
    qv::LockFile lock;
    if (c.lockAfterChange) {
      ASSERT_EQ(lock.Open(prefix.Path("shared.lock"), 0600), 0);
      ASSERT_EQ(lock.Lock(true), 0);
    }
    std::string seen;
    if (c.otherThread)
      std::thread([&] { seen = Read(nullptr, "v"); }).join();
    else
      seen = Read(nullptr, "v");
    EXPECT_EQ(seen, c.seen) << c.name;
    inner.reset();
    job.reset();
    EXPECT_EQ(Read(nullptr, "v"), "new") << c.name << ", after the job";
  }
}

TEST(RegistryReadCacheTest, AJobLooksForOtherProcessesCommitsOnceUntilItTakesALock) {
  qv::testing::TempPrefix prefix;
  Seed();
  qv::LockFile lock;
  ASSERT_EQ(lock.Open(prefix.Path("shared.lock"), 0600), 0);
  struct Case {
    const char* name;
    bool inJob;
    int locks;        // taken halfway through the reads
    uint64_t looks;
  } cases[] = {
      {"outside a job, every read", false, 0, 10},
      {"a job without a lock", true, 0, 1},
      {"a job that takes the lock twice", true, 2, 3},
  };
  for (const Case& c : cases) {
    std::optional<qv::RegistryReadsOfOneJob> job;
    if (c.inJob) job.emplace();
    const uint64_t before = qv::RegistryCommitLookCount();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Read(nullptr, "v"), "old") << c.name;  // open and query: two reads
    for (int i = 0; i < c.locks; ++i) {
      ASSERT_EQ(lock.Lock(true), 0);
      EXPECT_EQ(Read(nullptr, "v"), "old") << c.name;
      lock.Unlock();
    }
    EXPECT_EQ(qv::RegistryCommitLookCount() - before, c.looks) << c.name;
  }
}

}  // namespace

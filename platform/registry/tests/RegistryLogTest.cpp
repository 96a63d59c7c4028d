// The store's write-ahead log stays short: checkpointed as it grows, emptied on request, and
// left alone at a command's end while it is short (emptying it would cost more flushes than a
// short log costs to replay).
#include <TempPrefix.h>
#include <gtest/gtest.h>
#include <qv/prefix.h>
#include <qv/registry_store.h>
#include <windows.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

namespace {

constexpr const char* kKey = "SOFTWARE\\Drennic\\Log";

// Frames in the log file, as SQLite lays it out: a 32-byte header, then each page with a 24-byte
// frame header.
uintmax_t Frames(const std::string& log) {
  uintmax_t size = std::filesystem::file_size(log);
  return size < 32 ? 0 : (size - 32) / (4096 + 24);
}

void Write(int count) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
  static DWORD next = 0;  // a value that changes: rewriting the same bytes writes no page
  for (int i = 0; i < count; ++i) {
    DWORD value = ++next;
    // Appended, not "v" + std::string: g++ 12 at -O3 gives a false -Wrestrict for that.
    std::string name = "v";
    name += std::to_string(i % 50);
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&value), sizeof value),
              0);
  }
  RegCloseKey(key);
}

TEST(RegistryLogTest, TheLogStaysShortAndIsEmptiedWhenAsked) {
  struct Case {
    const char* name;
    uintmax_t frames;  // written until the log holds at least this many frames
    bool always;
    bool emptied;  // the log file is empty afterwards
  } cases[] = {
      {"a short log is left at the end of a command", 1, false, false},
      {"a long log is emptied at the end of a command", 30, false, true},
      {"asked always (after install), even a short log is emptied", 1, true, true},
  };
  for (const Case& c : cases) {
    qv::testing::TempPrefix prefix;
    const std::string log = prefix.Path("registry.db-wal");
    Write(1);  // the new store's tables and defaults
    qv::CheckpointRegistry(true);
    ASSERT_EQ(Frames(log), 0u) << c.name;
    for (int i = 0; i < 200 && (!std::filesystem::exists(log) || Frames(log) < c.frames); ++i) Write(1);
    ASSERT_GE(Frames(log), c.frames) << c.name;
    ASSERT_LT(Frames(log), 64u) << c.name << ": checkpointed on the way";
    qv::CheckpointRegistry(c.always);
    EXPECT_EQ(std::filesystem::file_size(log) == 0, c.emptied) << c.name;
  }
}

TEST(RegistryLogTest, ManyCommitsKeepTheLogShort) {
  qv::testing::TempPrefix prefix;
  Write(600);
  // Checkpointed every 64 pages: the log file is reused from its start, never much longer.
  EXPECT_LT(std::filesystem::file_size(prefix.Path("registry.db-wal")), 100u * 4096u);
}

DWORD ReadCounter() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD value = 0, size = sizeof value;
  if (RegQueryValueExA(key, "counter", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) value = 0;
  RegCloseKey(key);
  return value;
}

bool WriteCounter(DWORD value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const bool written =
      RegSetValueExA(key, "counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
  RegCloseKey(key);
  return written;
}

// Runs `work` in a child that ends without closing the store, as a command does: its log stays
// as its last commit left it. The child's exit status is work's result.
bool InProcessThatEndsAbruptly(const std::function<bool()>& work) {
  pid_t child = fork();  // the fork handlers close this process's connection first
  if (child == 0) _exit(work() ? 0 : 1);
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A process finds the log in whatever state the last one left it: with commits not yet moved
// into the database, emptied, or removed (by a clean close elsewhere, or by hand). Each time it
// must read what was committed and commit on top of it, and the log is there afterwards.
TEST(RegistryLogTest, EveryStateOfTheLogIsOpenedAndWrittenOn) {
  struct Case {
    const char* name;
    bool emptied;          // the last writer emptied the log before it ended
    bool closedCleanly;    // ... and closed the store (which removes the log)
    bool removedByHand;    // the log file was deleted afterwards (the index stays)
  } cases[] = {
      {"kept with commits in it", false, false, false},
      {"kept empty", true, false, false},
      {"removed by a clean close", true, true, false},
      {"removed by hand after it was emptied", true, false, true},
  };
  for (const Case& c : cases) {
    qv::testing::TempPrefix prefix;
    const std::string log = prefix.Path("registry.db-wal");
    ASSERT_TRUE(InProcessThatEndsAbruptly([&] {
      if (!WriteCounter(41)) return false;
      if (c.emptied) qv::CheckpointRegistry(true);
      return true;
    })) << c.name;
    if (c.closedCleanly) {
      EXPECT_EQ(ReadCounter(), 41u) << c.name;
      qv::SetPrefixOverride(prefix.Dir());  // closes this process's connection, the last one
    }
    if (c.removedByHand) {
      ASSERT_TRUE(std::filesystem::remove(log)) << c.name;
    }
    ASSERT_EQ(std::filesystem::exists(log), !c.closedCleanly && !c.removedByHand) << c.name;

    // Another process reads and writes on what it finds; a third sees its commit.
    EXPECT_TRUE(InProcessThatEndsAbruptly([] { return ReadCounter() == 41 && WriteCounter(42); })) << c.name;
    EXPECT_TRUE(std::filesystem::exists(log)) << c.name;
    EXPECT_TRUE(InProcessThatEndsAbruptly([] { return ReadCounter() == 42; })) << c.name;
    EXPECT_EQ(ReadCounter(), 42u) << c.name;
  }
}

}  // namespace

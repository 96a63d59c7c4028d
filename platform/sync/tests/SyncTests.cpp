// Critical sections and mutexes: ownership by thread, recursion, and exclusion of other
// processes through the lock file in the prefix.
#include "LockProbe.h"

#include <TempPrefix.h>

#include <qv/sync.h>
#include <windows.h>
#include <winsplp.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Long enough for a thread that is not held back to get through.
constexpr auto kSettle = 150ms;

class Mutex {
 public:
  explicit Mutex(LPCWSTR name, BOOL initialOwner = FALSE)
      : handle_(CreateMutexW(nullptr, initialOwner, name)), error_(GetLastError()) {}
  ~Mutex() {
    if (handle_) qv::CloseSyncHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  DWORD error() const { return error_; }

 private:
  HANDLE handle_;
  DWORD error_;
};

using qv::testing::LockFileIsFree;

// WaitForSingleObject(handle, ms) from a thread of its own; the thread releases what it got.
DWORD WaitFromOtherThread(HANDLE handle, DWORD ms) {
  return std::async(std::launch::async, [&] {
           DWORD result = WaitForSingleObject(handle, ms);
           if (result == WAIT_OBJECT_0) ReleaseMutex(handle);
           return result;
         }).get();
}

class SyncTest : public ::testing::Test {
 protected:
  qv::testing::TempPrefix prefix_;
};

TEST_F(SyncTest, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  LeaveCriticalSection(&section);

  std::atomic<bool> entered{false};
  std::thread other([&] {
    EnterCriticalSection(&section);
    entered = true;
    LeaveCriticalSection(&section);
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(entered) << "still held once by this thread";
  LeaveCriticalSection(&section);
  other.join();
  EXPECT_TRUE(entered);
  DeleteCriticalSection(&section);
}

TEST_F(SyncTest, OwnershipIsRecursivePerThread) {
  Mutex mutex(WSTR("Recursion"));
  ASSERT_NE(mutex.get(), nullptr);
  EXPECT_EQ(mutex.error(), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(WaitForSingleObject(mutex.get(), INFINITE), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForSingleObject(mutex.get(), INFINITE), WAIT_OBJECT_0);

  EXPECT_EQ(WaitFromOtherThread(mutex.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT));
  std::async(std::launch::async, [&] {
    EXPECT_FALSE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  }).get();

  EXPECT_TRUE(ReleaseMutex(mutex.get()));
  EXPECT_EQ(WaitFromOtherThread(mutex.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "owned once more";
  EXPECT_TRUE(ReleaseMutex(mutex.get()));
  EXPECT_EQ(WaitFromOtherThread(mutex.get(), INFINITE), WAIT_OBJECT_0);
  EXPECT_FALSE(ReleaseMutex(mutex.get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
}

TEST_F(SyncTest, ANameOpensTheSameMutexWhateverItsCase) {
  Mutex first(WSTR("Monitor"));
  Mutex second(WSTR("MONITOR"));
  ASSERT_NE(second.get(), nullptr);
  EXPECT_EQ(second.error(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(first.get(), second.get());

  ASSERT_EQ(WaitForSingleObject(first.get(), INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitFromOtherThread(second.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(ReleaseMutex(second.get())) << "same mutex, same owner";
  EXPECT_EQ(WaitFromOtherThread(second.get(), 50), WAIT_OBJECT_0);
}

TEST_F(SyncTest, InitialOwnerOwnsANewMutex) {
  Mutex mutex(WSTR("Initial"), TRUE);
  ASSERT_NE(mutex.get(), nullptr);
  EXPECT_EQ(WaitFromOtherThread(mutex.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

TEST_F(SyncTest, TheOwnerHoldsTheLockFileInThePrefix) {
  const std::string lockFile = prefix_.Path("monitor.lock");
  Mutex mutex(WSTR("Global\\Monitor"));
  ASSERT_EQ(WaitForSingleObject(mutex.get(), INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(std::filesystem::exists(lockFile));
  EXPECT_FALSE(LockFileIsFree(lockFile));
  ASSERT_TRUE(ReleaseMutex(mutex.get()));
  EXPECT_TRUE(LockFileIsFree(lockFile));

  // Someone else (another process, as flock sees it) holds the file: the mutex waits for it.
  int fd = open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  EXPECT_EQ(WaitForSingleObject(mutex.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(ReleaseMutex(mutex.get())) << "a timed-out wait owns nothing";
  auto waiter = std::async(std::launch::async, [&] { return WaitFromOtherThread(mutex.get(), INFINITE); });
  EXPECT_EQ(waiter.wait_for(kSettle), std::future_status::timeout);
  flock(fd, LOCK_UN);
  EXPECT_EQ(waiter.get(), WAIT_OBJECT_0);
  close(fd);
}

TEST_F(SyncTest, ALaterPrefixGetsItsOwnLockFile) {
  Mutex mutex(WSTR("Monitor"));
  ASSERT_EQ(WaitForSingleObject(mutex.get(), INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(ReleaseMutex(mutex.get()));
  qv::testing::TempPrefix later;
  ASSERT_EQ(WaitForSingleObject(mutex.get(), INFINITE), WAIT_OBJECT_0);
  EXPECT_FALSE(LockFileIsFree(later.Path("monitor.lock")));
  EXPECT_TRUE(LockFileIsFree(prefix_.Path("monitor.lock")));
  ASSERT_TRUE(ReleaseMutex(mutex.get()));
}

TEST_F(SyncTest, AChildProcessDoesNotShareItsParentsOwnership) {
  Mutex mutex(WSTR("Monitor"));
  ASSERT_EQ(WaitForSingleObject(mutex.get(), INFINITE), WAIT_OBJECT_0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child inherits the parent's ownership record and its open lock file; it must still
    // wait for the parent.
    _exit(WaitForSingleObject(mutex.get(), 100) == WAIT_TIMEOUT ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

TEST_F(SyncTest, NamesThatCannotNameALockFileAreRefused) {
  for (LPCWSTR name : {WSTR("a/b"), WSTR("a\\b"), WSTR(".."), WSTR("Global\\.")}) {
    SetLastError(0);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, name), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  }
}

TEST_F(SyncTest, HandlesThatAreNotMutexesAreRefused) {
  int notAHandle = 0;
  EXPECT_EQ(WaitForSingleObject(&notAHandle, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ReleaseMutex(&notAHandle));
  EXPECT_FALSE(qv::CloseSyncHandle(&notAHandle));

  HANDLE unnamed = CreateMutexW(nullptr, FALSE, nullptr);
  ASSERT_NE(unnamed, nullptr);
  EXPECT_TRUE(qv::CloseSyncHandle(unnamed));
  EXPECT_FALSE(qv::CloseSyncHandle(unnamed));
  EXPECT_EQ(WaitForSingleObject(unnamed, 0), WAIT_FAILED);
}

// Processes that count under the mutex while the lock file's names are removed again and
// again (as one clearing a lock that looks stale would): no increment may be lost.
TEST_F(SyncTest, RemovingTheLockFileNeverLetsTwoProcessesIn) {
  struct Row {
    const char* name;
    std::vector<std::string> removed;  // names removed in a loop while the children count
  };
  const std::vector<Row> rows = {
      {"Untouched", {}},
      {"VisibleNameRemoved", {"monitor.lock"}},
  };
  constexpr int kChildren = 4;
  constexpr int kIncrements = 150;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string counter = prefix_.Path(std::string("counter-") + row.name);
    { std::ofstream(counter) << 0; }
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
      pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        Mutex mutex(WSTR("Monitor"));
        for (int i = 0; i < kIncrements; ++i) {
          if (WaitForSingleObject(mutex.get(), INFINITE) != WAIT_OBJECT_0) _exit(2);
          long value = 0;
          { std::ifstream(counter) >> value; }
          std::this_thread::yield();
          { std::ofstream(counter, std::ios::trunc) << value + 1; }
          ReleaseMutex(mutex.get());
        }
        _exit(0);
      }
      children.push_back(child);
    }
    std::atomic<bool> done{false};
    std::thread remover([&] {
      while (!done)
        for (const std::string& name : row.removed) unlink(prefix_.Path(name).c_str());
    });
    for (pid_t child : children) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    done = true;
    remover.join();
    long total = 0;
    std::ifstream(counter) >> total;
    EXPECT_EQ(total, kChildren * kIncrements);
  }
}

// A lock file removed while a process waited on it: the waiter, once it has the old file, sees
// that the name leads elsewhere and locks the file the name leads to now, so it excludes every
// later opener.
TEST_F(SyncTest, AWaiterRelocksWhenTheFileWasReplaced) {
  const std::string hidden = prefix_.Path(".monitor.lock");
  Mutex mutex(WSTR("Monitor"));
  ASSERT_EQ(WaitForSingleObject(mutex.get(), INFINITE), WAIT_OBJECT_0);
  int toParent[2];
  int toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Mutex mine(WSTR("Monitor"));
    if (WaitForSingleObject(mine.get(), INFINITE) != WAIT_OBJECT_0) _exit(2);
    char byte = 'x';
    if (write(toParent[1], &byte, 1) != 1) _exit(3);
    if (read(toChild[0], &byte, 1) != 1) _exit(4);
    ReleaseMutex(mine.get());
    _exit(0);
  }
  std::this_thread::sleep_for(kSettle);  // the child now waits on the file
  unlink(hidden.c_str());
  unlink(prefix_.Path("monitor.lock").c_str());
  ASSERT_TRUE(ReleaseMutex(mutex.get()));
  char byte = 0;
  ASSERT_EQ(read(toParent[0], &byte, 1), 1);
  EXPECT_FALSE(LockFileIsFree(hidden)) << "the child holds what the name leads to";
  EXPECT_FALSE(LockFileIsFree(prefix_.Path("monitor.lock"))) << "and its visible link";
  EXPECT_EQ(WaitForSingleObject(mutex.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_EQ(write(toChild[1], &byte, 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
}

}  // namespace

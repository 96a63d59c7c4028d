// The lock file that both the named mutexes and the job counter use: a lock taken after its
// file was removed or replaced must hold the file the name leads to now, or it excludes nobody.
#include "LockProbe.h"

#include <TempPrefix.h>

#include <qv/lock_file.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

namespace {

using qv::testing::LockFileIsFree;

TEST(LockFileTest, AWaiterHoldsWhatTheNameLeadsToOnceItHasTheLock) {
  struct Row {
    const char* name;
    std::function<void(const std::string& path)> change;  // done while the waiter waits
  };
  const Row rows[] = {
      {"Untouched", [](const std::string&) {}},
      {"Removed", [](const std::string& path) { unlink(path.c_str()); }},
      {"Replaced",
       [](const std::string& path) {
         const std::string other = path + ".new";
         close(open(other.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
         rename(other.c_str(), path.c_str());
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qv::testing::TempPrefix prefix;
    const std::string path = prefix.Path("counter.lock");
    qv::LockFile holder;
    ASSERT_EQ(holder.Open(path, 0644), 0);
    ASSERT_EQ(holder.Lock(true), 0);
    qv::LockFile waiter;
    ASSERT_EQ(waiter.Open(path, 0644), 0);
    EXPECT_EQ(waiter.Lock(false), EWOULDBLOCK) << "held by the other";
    auto waited = std::async(std::launch::async, [&] { return waiter.Lock(true); });
    EXPECT_EQ(waited.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    row.change(path);
    holder.Close();
    ASSERT_EQ(waited.get(), 0);
    EXPECT_FALSE(LockFileIsFree(path)) << "whoever opens the name now must wait for the waiter";
    waiter.Unlock();
    EXPECT_TRUE(LockFileIsFree(path));
  }
}

// A missing lock file is made under its own name, never through a link: a dangling symbolic
// link in its place is refused and the file it names is not made; an existing file reached
// through a link is only locked.
TEST(LockFileTest, AMissingFileIsNeverMadeThroughALink) {
  qv::testing::TempPrefix prefix;
  const std::string path = prefix.Path("counter.lock"), target = prefix.Path("elsewhere");
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
  qv::LockFile file;
  EXPECT_EQ(file.Open(path, 0644), ELOOP);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_NE(access(target.c_str(), F_OK), 0) << "made through the link";

  close(open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  ASSERT_EQ(file.Open(path, 0644), 0) << "an existing file behind a link is locked as it is";
  EXPECT_EQ(file.Lock(false), 0);
  EXPECT_FALSE(LockFileIsFree(target));
}

TEST(LockFileTest, AFileThatCannotBeOpenedIsReported) {
  qv::testing::TempPrefix prefix;
  qv::LockFile file;
  EXPECT_EQ(file.Open(prefix.Path("missing/counter.lock"), 0644), ENOENT);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Lock(true), EBADF);
}

}  // namespace

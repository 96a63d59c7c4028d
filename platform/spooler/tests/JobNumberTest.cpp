// Job numbers are reserved in blocks: the registry counter is committed once per block, the
// processes of a boot share the block's rest, a new boot starts after every block reserved
// before, and no number is ever handed out twice.
#include "SpoolerFixture.h"

#include "../SpoolFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

namespace qv::testing {
namespace {

const char kPrintKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print";

DWORD StoredNextJobId() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrintKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD value = 0, size = sizeof value, type = 0;
  LSTATUS status = RegQueryValueExA(key, "NextJobId", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_DWORD ? value : 0;
}

// How the lock file at `path` is named in the rest it holds: device, inode and birth time
// (empty where the birth time can't be told).
std::string LockFileIdentity(const std::string& path) {
  struct statx status {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_INO | STATX_BTIME, &status) != 0 || !(status.stx_mask & STATX_BTIME))
    return {};
  return std::to_string(status.stx_dev_major) + ":" + std::to_string(status.stx_dev_minor) + ":" +
         std::to_string(status.stx_ino) + ":" + std::to_string(status.stx_btime.tv_sec) + "." +
         std::to_string(status.stx_btime.tv_nsec);
}

// Takes `jobs` job numbers in a new process (after ReserveJobIds(`reserve`) when not 0) and
// returns them; empty when that process failed.
std::vector<DWORD> NumbersOfANewProcess(DWORD reserve, int jobs) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    if (reserve) ReserveJobIds(reserve);
    for (int i = 0; i < jobs; ++i) {
      DWORD id = 0;
      if (spool::AllocateJobId(id) != ERROR_SUCCESS || write(pipeFds[1], &id, sizeof id) != sizeof id) _exit(1);
    }
    _exit(0);
  }
  close(pipeFds[1]);
  std::vector<DWORD> ids;
  DWORD id = 0;
  while (read(pipeFds[0], &id, sizeof id) == sizeof id) ids.push_back(id);
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ids : std::vector<DWORD>{};
}

// Takes `jobs` numbers in a new process into `taken`; each must be new.
void TakeOnce(std::set<DWORD>& taken, int jobs) {
  for (DWORD id : NumbersOfANewProcess(0, jobs)) EXPECT_TRUE(taken.insert(id).second) << "number " << id << " again";
}

// The processes of one boot share the rest of the last block reserved in the registry counter
// (kept in the lock file): one-job commands take consecutive numbers and the counter is
// committed once per 256 numbers. The rest is left unused after a restart, or once the counter
// moved on without it.
TEST_F(SpoolerTest, TheProcessesOfABootShareTheBlockOfNumbers) {
  const std::string lockPath = prefix.Path("spool/.jobid.lock");
  std::ofstream{spool::SpoolDir() + "/.jobid.lock"};
  const std::string file = LockFileIdentity(lockPath);
  if (spool::BootId().empty() || file.empty())
    GTEST_SKIP() << "no boot id or no birth times here: each process reserves its own block";
  const std::string boot = spool::BootId();
  struct Case {
    const char* name;
    DWORD counter;            // stored before
    std::string rest;         // the lock file's content before
    std::vector<DWORD> reserve;  // one process each: ReserveJobIds (0: none) ...
    std::vector<int> jobs;       // ... and how many jobs it spools
    DWORD firstNumber;        // the numbers handed out are consecutive from here
    DWORD counterAfter;
  } cases[] = {
      {"one-job processes: consecutive numbers, one commit", 1, "", {0, 0, 0, 0, 0}, {1, 1, 1, 1, 1}, 1, 257},
      {"a batch, growing blocks, the largest block", 1, "", {5, 0, 1000}, {5, 3, 2}, 1, 257},
      {"past the block's end a new block is reserved", 257, boot + " 255 257 " + file + "\n", {0}, {3}, 255, 513},
      {"after a restart the rest is left unused", 257, "another-boot 5 257 " + file + "\n", {0}, {1}, 257, 513},
      {"a counter moved on makes the rest stale", 300, boot + " 5 257 " + file + "\n", {0}, {1}, 300, 556},
      {"a damaged rest is not used", 257, boot + " 9 x " + file + "\n", {0}, {1}, 257, 513},
      {"a rest that names another lock file is not used", 257, boot + " 5 257 1:2:3:4.5\n", {0}, {1}, 257, 513},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetNumber(kPrintKey, "NextJobId", c.counter);
    std::ofstream(lockPath, std::ios::trunc) << c.rest;
    std::vector<DWORD> numbers;
    for (size_t p = 0; p < c.jobs.size(); ++p) {
      const std::vector<DWORD> ids = NumbersOfANewProcess(c.reserve[p], c.jobs[p]);
      ASSERT_EQ(ids.size(), static_cast<size_t>(c.jobs[p])) << "process " << p << " failed";
      numbers.insert(numbers.end(), ids.begin(), ids.end());
    }
    for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], c.firstNumber + i) << "number " << i;
    EXPECT_EQ(StoredNextJobId(), c.counterAfter);
  }
}

// The lock file put back as a copy of an earlier state of it (a restore, an editor's or a sync
// tool's save) still offers numbers that were taken since the copy was made: they are not handed
// out again, whether the copy is moved over the file or written after the file was removed.
TEST_F(SpoolerTest, ALockFileReplacedByAnEarlierCopyOffersNoNumberAgain) {
  namespace fs = std::filesystem;
  const std::string lockPath = prefix.Path("spool/.jobid.lock");
  const std::string copyPath = prefix.Path("lock-copy");
  struct Row {
    const char* name;
    std::function<void()> putBack;
  } rows[] = {
      {"the copy moved over the file", [&] { fs::rename(copyPath, lockPath); }},
      {"the file removed, the copy written in its place",
       [&] {
         fs::remove(lockPath);
         fs::copy_file(copyPath, lockPath);
         fs::remove(copyPath);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::set<DWORD> taken;
    TakeOnce(taken, 1);
    fs::copy_file(lockPath, copyPath, fs::copy_options::overwrite_existing);
    TakeOnce(taken, 3);
    row.putBack();
    TakeOnce(taken, 2);
    EXPECT_EQ(taken.size(), 6u);
  }
}

// A lock file that is only another name of some other file (a symbolic or a hard link, which
// whoever may write the spool folder can make, while the CUPS backend runs as root) is locked but
// never written: that file keeps its content, and numbers are still handed out once each.
TEST_F(SpoolerTest, ALockFileThatLeadsElsewhereIsNeverWritten) {
  namespace fs = std::filesystem;
  const std::string lockPath = spool::SpoolDir() + "/.jobid.lock";
  const std::string other = prefix.Path("precious");
  struct Row {
    const char* name;
    std::function<void()> link;
  } rows[] = {
      {"a symbolic link", [&] { fs::create_symlink(other, lockPath); }},
      {"a hard link", [&] { fs::create_hard_link(other, lockPath); }},
  };
  std::set<DWORD> taken;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::ofstream(other, std::ios::trunc) << "precious\n";
    fs::remove(lockPath);
    row.link();
    TakeOnce(taken, 2);
    EXPECT_EQ(ReadFile(other), "precious\n");
    fs::remove(lockPath);
    TakeOnce(taken, 2);
  }
  EXPECT_EQ(taken.size(), 8u);
}

TEST_F(SpoolerTest, ANewProcessNeverReusesANumberOfAnotherProcesssBlock) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  ReserveJobIds(4);
  std::set<DWORD> ids{Spool("Office", "parent")};
  // The parent's block is not the child's: it takes its numbers after it.
  for (DWORD id : NumbersOfANewProcess(0, 3)) {
    EXPECT_GT(id, 4u) << "inside the parent's block 1-4";
    ids.insert(id);
  }
  for (int i = 0; i < 5; ++i) ids.insert(Spool("Office", "parent again"));
  EXPECT_EQ(ids.size(), 9u) << "a number was handed out twice";
  EXPECT_EQ(ids.count(0), 0u);
}

TEST_F(SpoolerTest, NumbersOfJobsStillSpooledArePassedOverAfterTheCounterWraps) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  ASSERT_EQ(Spool("Office", "kept"), 1u);
  SetNumber(kPrintKey, "NextJobId", 0xFFFFFFFFu);
  EXPECT_EQ(NumbersOfANewProcess(3, 2), (std::vector<DWORD>{0xFFFFFFFFu, 2}))
      << "after the top number comes 2 (1 is spooled)";
}

// Processes taking job numbers while a loop removes the counter's lock file again and again (as
// one clearing a lock that looks stale would): no number is handed out twice. Each process is
// short-lived, so that it reserves a few small blocks, as `quorvane print` does.
TEST_F(SpoolerTest, NoNumberIsHandedOutTwiceWhileTheLockFileIsRemoved) {
  struct Row {
    const char* name;
    bool removeLockFile;
  };
  const Row rows[] = {{"Untouched", false}, {"RemovedAgainAndAgain", true}};
  constexpr int kWorkers = 4;
  constexpr int kProcessesEach = 40;
  constexpr int kIdsEach = 3;  // blocks of 1 and 2: two reservations
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    int ids[2];
    ASSERT_EQ(pipe(ids), 0);
    std::vector<pid_t> workers;
    for (int w = 0; w < kWorkers; ++w) {
      pid_t worker = fork();
      ASSERT_GE(worker, 0);
      if (worker == 0) {
        for (int p = 0; p < kProcessesEach; ++p) {
          pid_t taker = fork();
          if (taker == 0) {
            DWORD taken[kIdsEach] = {};
            for (DWORD& id : taken)
              if (spool::AllocateJobId(id) != ERROR_SUCCESS) _exit(2);
            _exit(write(ids[1], taken, sizeof taken) == sizeof taken ? 0 : 3);
          }
          int status = 0;
          if (taker < 0 || waitpid(taker, &status, 0) != taker || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            _exit(4);
        }
        _exit(0);
      }
      workers.push_back(worker);
    }
    close(ids[1]);
    std::atomic<bool> done{false};
    std::thread remover([&] {
      while (row.removeLockFile && !done) unlink(prefix.Path("spool/.jobid.lock").c_str());
    });
    std::multiset<DWORD> handedOut;
    DWORD taken[kIdsEach];
    while (read(ids[0], taken, sizeof taken) == static_cast<ssize_t>(sizeof taken)) handedOut.insert(taken, taken + kIdsEach);
    for (pid_t worker : workers) {
      int status = 0;
      ASSERT_EQ(waitpid(worker, &status, 0), worker);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    done = true;
    remover.join();
    close(ids[0]);
    EXPECT_EQ(handedOut.size(), size_t{kWorkers * kProcessesEach * kIdsEach});
    for (DWORD id : std::set<DWORD>(handedOut.begin(), handedOut.end()))
      EXPECT_EQ(handedOut.count(id), 1u) << "number " << id << " handed out " << handedOut.count(id) << " times";
  }
}

}  // namespace
}  // namespace qv::testing

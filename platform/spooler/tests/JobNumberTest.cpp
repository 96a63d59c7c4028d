// Job numbers are reserved in blocks: the registry counter is committed once per block, a new
// process starts after every block reserved before, and no number is ever handed out twice.
#include "SpoolerFixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <set>

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

TEST_F(SpoolerTest, JobNumbersAreReservedInGrowingBlocks) {
  struct Case {
    const char* name;
    DWORD reserve;      // ReserveJobIds before the first job, 0: none
    int jobs;
    DWORD storedAfter;  // the counter: the end of the last block reserved
  } cases[] = {
      {"one job commits one number", 0, 1, 2},
      {"blocks double: 1, 2, 4, 8", 0, 10, 16},
      {"a batch reserves what it asks for", 5, 5, 6},
      {"after a batch, blocks double from its size", 3, 4, 10},
      {"a block holds at most 256", 1000, 2, 257},
  };
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  for (const Case& c : cases) {
    SetNumber(kPrintKey, "NextJobId", 1);
    // A child process: its block starts from the stored counter, as a new process does.
    pid_t child = fork();
    if (child == 0) {
      if (c.reserve) ReserveJobIds(c.reserve);
      for (int i = 0; i < c.jobs; ++i) {
        DWORD id = Spool("Office", "x");
        if (id != static_cast<DWORD>(i + 1)) _exit(10);
        DeleteJob(id);
      }
      _exit(StoredNextJobId() == c.storedAfter ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << c.name << ": " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1) << " (10: numbers not consecutive, 11: counter "
        << StoredNextJobId() << ")";
  }
}

TEST_F(SpoolerTest, ANewProcessNeverReusesANumberOfAnotherProcesssBlock) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  ReserveJobIds(4);
  std::set<DWORD> ids{Spool("Office", "parent")};
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  pid_t child = fork();
  if (child == 0) {
    // The parent's block is not the child's: it reserves its own, after it.
    DWORD childIds[3] = {Spool("Office", "a"), Spool("Office", "b"), Spool("Office", "c")};
    _exit(write(pipeFds[1], childIds, sizeof childIds) == sizeof childIds ? 0 : 1);
  }
  DWORD childIds[3] = {};
  ASSERT_EQ(read(pipeFds[0], childIds, sizeof childIds), static_cast<ssize_t>(sizeof childIds));
  waitpid(child, nullptr, 0);
  close(pipeFds[0]);
  close(pipeFds[1]);
  for (DWORD id : childIds) EXPECT_GT(id, 4u) << "inside the parent's block 1-4";
  ids.insert(std::begin(childIds), std::end(childIds));
  for (int i = 0; i < 5; ++i) ids.insert(Spool("Office", "parent again"));
  EXPECT_EQ(ids.size(), 9u) << "a number was handed out twice";
  EXPECT_EQ(ids.count(0), 0u);
}

TEST_F(SpoolerTest, NumbersOfJobsStillSpooledArePassedOverAfterTheCounterWraps) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  DWORD kept = Spool("Office", "kept");
  ASSERT_EQ(kept, 1u);
  SetNumber(kPrintKey, "NextJobId", 0xFFFFFFFFu);
  pid_t child = fork();
  if (child == 0) {
    ReserveJobIds(3);
    DWORD a = Spool("Office", "top"), b = Spool("Office", "wrapped");
    _exit(a == 0xFFFFFFFFu && b == 2 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "after the top number comes 2 (1 is spooled)";
}

}  // namespace
}  // namespace qv::testing

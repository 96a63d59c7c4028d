// Reprinting a file of 1 GiB streams it: the process's peak resident memory stays under 32 MiB
// from the data file through the spool to the printer's output. Measured in a child process,
// whose peak belongs to this work alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <qv/print_system.h>
#include <qv/utf.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "ActionReprint.h"
#include "TempPrefix.h"
#include "TestJob.h"
#include "TestRegistry.h"

using namespace MarrowjetUI;
using namespace jobproc_testing;
namespace fs = std::filesystem;

namespace {

constexpr off_t kFileSize = off_t{1} << 30;
constexpr long kPeakLimitKiB = 32 * 1024;

// Peak resident memory of this process in KiB.
long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(ReprintMemoryTest, AGigabyteIsReprintedInLittleMemory) {
  qv::testing::TempPrefix prefix;
  LogFile log(prefix.Path("memory.log"));
  ASSERT_EQ(qv::AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  // A sparse file: reading it costs no disk, only the spool and the output take space.
  const std::string input = prefix.Path("big.spl");
  {
    const int fd = open(input.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, kFileSize), 0);
    ASSERT_EQ(pwrite(fd, "end", 3, kFileSize - 3), 3);
    close(fd);
  }

  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    const long before = PeakKiB();
    {
      TestJob job;
      job.Document("big");
      ActionReprint action;
      action.LoadFromString(WSTR("Reprint: Office"));
      action.Run(qv::ToUtf16(input), job.Get(), 0);
    }
    const long peaks[2] = {before, PeakKiB()};
    _exit(write(pipeFds[1], peaks, sizeof peaks) == sizeof peaks ? 0 : 1);
  }
  close(pipeFds[1]);
  long peaks[2] = {0, 0};
  const ssize_t got = read(pipeFds[0], peaks, sizeof peaks);
  close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(got, static_cast<ssize_t>(sizeof peaks));

  fs::remove(input);
  std::vector<fs::path> printed;
  for (const auto& entry : fs::directory_iterator(prefix.Path("spool/printed/Office"))) printed.push_back(entry.path());
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(fs::file_size(printed[0]), static_cast<uintmax_t>(kFileSize));
  fs::remove(printed[0]);
  EXPECT_TRUE(log.Entries().empty());

  RecordProperty("PeakKiB", std::to_string(peaks[1]));
  // The sanitizers' own bookkeeping is not the program's: there only the growth counts.
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(peaks[1] - peaks[0], kPeakLimitKiB) << "peak " << peaks[1] << " KiB, before " << peaks[0] << " KiB";
#else
  EXPECT_LT(peaks[1], kPeakLimitKiB) << "peak " << peaks[1] << " KiB, before " << peaks[0] << " KiB";
#endif
}

}  // namespace

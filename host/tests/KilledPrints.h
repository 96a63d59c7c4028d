// `quorvane print` killed (SIGKILL) at random moments, again and again, then checked: every job
// whose number it printed is in the spool or in its output, whole, and reaches its output after
// `jobs --run`; no output is ever partial; the registry is intact; no serial number is issued
// twice; and once aged past the sweep's wait, the litter of the killed processes (staging files
// of copies, temporary job files, spool temporaries) is swept by the next print. (A power cut
// can't be made here: the flushes that guard against it are named in the code where they are
// made.)
#pragma once
#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace qv::testing {

struct KillPlan {
  int kills;
  unsigned seed;
  size_t (*dataSize)(int run);  // the size of run `run`'s data (run 0 is the warm-up's)
  int (*filesOfRun)(int run) = nullptr;  // how many files run `run` prints in one call (1 when none)
};

// At most this many files per run; a file is known by its key, run * kFilesPerRunMax + its place.
inline constexpr int kFilesPerRunMax = 8;

class KilledPrintsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Kills `plan.kills` prints and checks all of the above, as test failures.
  void KillPrintsAndCheck(const KillPlan& plan);

  TempPrefix prefix;

 private:
  // The output files "<id>-<sn>.prn" by job id.
  struct Output {
    long serial;
    std::string data;
  };
  std::string Out() const { return prefix.Path("drive_c/Out"); }
  std::multimap<long, Output> Outputs() const;
  void CheckOutputsAndSpool(const char* when) const;
  // What the killed processes left that the sweep must take, as paths.
  std::vector<std::string> Litter() const;

  // Files' data is known by its digest (a few hundred MiB of it would not fit well in memory).
  void NoteRun(int key, const std::string& data);

  std::map<long, int> printed_;  // job number shown -> the key of the file whose data it is
  std::map<size_t, int> runByDigest_;
  std::map<int, size_t> digestOfRun_;
};

}  // namespace qv::testing

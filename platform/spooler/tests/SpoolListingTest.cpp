// A scan of the spool keeps its last listing of the folder while the folder shows no change:
// every change to the spool must still show in the next scan, whether it came in the same
// clock tick as the listing before it or later, and whatever was done to the folder itself.
#include "SpoolerFixture.h"

#include "../SpoolFolder.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

namespace qv::testing {
namespace {

namespace fs = std::filesystem;

// What a scan shows of each job: its printer and state.
std::map<DWORD, std::string> Scan() {
  std::map<DWORD, std::string> shown;
  for (const spool::SpooledJob& job : spool::SpooledJobs()) shown[job.id] = job.printer + "/" + job.state;
  return shown;
}

TEST_F(SpoolerTest, EveryChangeToTheSpoolShowsInTheNextScan) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Lab", "FILE:", ""), ERROR_SUCCESS);
  std::map<DWORD, std::string> expected;  // what the spool holds
  auto spool = [&](const std::string& printer) {
    const DWORD id = Spool(printer, "data");
    ASSERT_NE(id, 0u);
    spool::JobDescription job;
    ASSERT_EQ(spool::ReadJob(id, job), static_cast<DWORD>(ERROR_SUCCESS));
    expected[id] = printer + "/" + job.state;
  };
  auto setState = [&](const std::string& state) {
    ASSERT_FALSE(expected.empty());
    spool::JobDescription job;
    ASSERT_EQ(spool::ReadJob(expected.begin()->first, job), static_cast<DWORD>(ERROR_SUCCESS));
    job.state = state;
    ASSERT_EQ(spool::WriteJob(job), static_cast<DWORD>(ERROR_SUCCESS));
    expected[job.id] = job.printer + "/" + state;
  };
  const std::string folder = prefix.Path("spool");
  struct Step {
    const char* name;
    std::function<void()> change;
  } steps[] = {
      {"a job spooled", [&] { spool("Office"); }},
      {"nothing changed", [] {}},
      {"a second job of another printer", [&] { spool("Lab"); }},
      {"the first job's description replaced", [&] { setState("failed"); }},
      {"the first job deleted",
       [&] {
         ASSERT_EQ(DeleteJob(expected.begin()->first), static_cast<DWORD>(ERROR_SUCCESS));
         expected.erase(expected.begin());
       }},
      {"the folder swapped for an empty one",
       [&] {
         fs::rename(folder, folder + ".old");
         fs::create_directory(folder);
         fs::rename(folder + ".old/.jobid.lock", folder + "/.jobid.lock");
         expected.clear();
       }},
      {"the folder removed, then a job spooled (the folder is made again)",
       [&] {
         fs::remove_all(folder);
         spool("Office");
       }},
  };
  // Each change is made once right after a scan (most likely in the same clock tick as the
  // listing that scan kept) and once a few ticks after one.
  for (const bool tickLater : {false, true}) {
    for (const Step& step : steps) {
      SCOPED_TRACE(std::string(step.name) + (tickLater ? ", a few ticks after the last scan" : ", right after a scan"));
      if (tickLater) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Scan();  // a listing begun after the folder's last change: the one a scan keeps
      } else {
        Scan();
      }
      step.change();
      EXPECT_EQ(Scan(), expected);
      EXPECT_EQ(Scan(), expected) << "scanned again";
    }
    fs::remove_all(folder + ".old");
  }
}

// A scan up to an id, skipping some, still sees every job of the kept listing it is asked for.
TEST_F(SpoolerTest, APartialScanSeesTheJobsItIsAskedFor) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  std::vector<DWORD> ids;
  for (int i = 0; i < 5; ++i) ids.push_back(Spool("Office", "data"));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_EQ(spool::SpooledJobs().size(), 5u);
  struct Case {
    const char* name;
    DWORD upTo;
    std::function<bool(DWORD)> skip;
    std::vector<DWORD> shown;
  } cases[] = {
      {"all", 0xFFFFFFFFu, {}, ids},
      {"up to the third", ids[2], {}, {ids[0], ids[1], ids[2]}},
      {"up to the third, the second skipped", ids[2], [&](DWORD id) { return id == ids[1]; }, {ids[0], ids[2]}},
      {"below the first", ids[0] - 1, {}, {}},
      {"all skipped", 0xFFFFFFFFu, [](DWORD) { return true; }, {}},
  };
  for (const Case& c : cases) {
    std::vector<DWORD> shown;
    for (const spool::SpooledJob& job : spool::SpooledJobs(c.upTo, c.skip)) shown.push_back(job.id);
    EXPECT_EQ(shown, c.shown) << c.name;
  }
  EXPECT_EQ(spool::SpooledJobs().size(), 5u) << "a partial scan forgets no job";
}

}  // namespace
}  // namespace qv::testing

// Many small prints killed at random moments (see KilledPrints.h for what is checked); every
// fifth job is large enough that the kill may fall inside the copies, and every third print is
// a batch of three files, accepted and sent together.
#include "KilledPrints.h"

namespace qv::testing {
namespace {

size_t SmallJobSize(int run) { return run % 5 == 0 ? 300000 + static_cast<size_t>(run) : 1024 + static_cast<size_t>(run) * 13; }

int FilesOfRun(int run) { return run % 3 == 0 ? 3 : 1; }

TEST_F(KilledPrintsTest, AKilledPrintLosesNoAcceptedJobAndLeavesNoPartialOutput) {
  KillPrintsAndCheck({200, 20261207, SmallJobSize, FilesOfRun});
}

}  // namespace
}  // namespace qv::testing

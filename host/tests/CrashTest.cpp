// Many small prints killed at random moments (see KilledPrints.h for what is checked); every
// fifth job is large enough that the kill may fall inside the copies.
#include "KilledPrints.h"

namespace qv::testing {
namespace {

size_t SmallJobSize(int run) { return run % 5 == 0 ? 300000 + static_cast<size_t>(run) : 1024 + static_cast<size_t>(run) * 13; }

TEST_F(KilledPrintsTest, AKilledPrintLosesNoAcceptedJobAndLeavesNoPartialOutput) {
  KillPrintsAndCheck({200, 20261207, SmallJobSize});
}

}  // namespace
}  // namespace qv::testing

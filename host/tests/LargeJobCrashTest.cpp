// Prints of 3 MiB jobs killed at random moments (see KilledPrints.h for what is checked): the
// kills fall mostly inside the copies (spooling, the port's capture, the output's staging file),
// where the litter is the size of a job. Labelled "stress".
#include "KilledPrints.h"

namespace qv::testing {
namespace {

size_t LargeJobSize(int run) { return (size_t{3} << 20) + static_cast<size_t>(run) * 7; }

TEST_F(KilledPrintsTest, AKilledLargePrintLosesNoAcceptedJobAndLeavesNoPartialOutputOrLitter) {
  KillPrintsAndCheck({100, 20261208, LargeJobSize});
}

}  // namespace
}  // namespace qv::testing

// quorvane drive: the drive table through the command.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

namespace {

using qv::testing::RunQuorvane;

TEST(DriveCommandTest, ListSetShowDelete) {
  qv::testing::TempPrefix prefix;
  auto fresh = RunQuorvane({"drive"});
  ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
  EXPECT_EQ(fresh.out, "C:  " + prefix.Path("drive_c") + "\nZ:  /\n");

  ASSERT_EQ(RunQuorvane({"drive", "d:", "/srv/print/"}).exitCode, 0);
  auto shown = RunQuorvane({"drive", "D:"});
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_EQ(shown.out, "D:  /srv/print\n");
  ASSERT_EQ(RunQuorvane({"drive", "C:", "/srv/jobs"}).exitCode, 0);
  EXPECT_EQ(RunQuorvane({"drive"}).out, "C:  /srv/jobs\nD:  /srv/print\nZ:  /\n");

  ASSERT_EQ(RunQuorvane({"drive", "D:", "--delete"}).exitCode, 0);
  EXPECT_EQ(RunQuorvane({"drive"}).out, "C:  /srv/jobs\nZ:  /\n");
  auto again = RunQuorvane({"drive", "D:", "--delete"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("drive D: is not mapped"), std::string::npos) << again.err;
  EXPECT_EQ(RunQuorvane({"drive", "Q:"}).exitCode, 1);
}

}  // namespace

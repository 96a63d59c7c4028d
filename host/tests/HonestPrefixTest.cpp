// The prefix the command works in: reading never creates one, and the state's failures say
// where they come from and, for permissions, what to do.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace qv::testing {
namespace {

namespace fs = std::filesystem;

TEST(HonestPrefixTest, ReadingAFolderWithoutAnInstallationCreatesNothing) {
  TempPrefix prefix;
  const std::string missing = prefix.Path("typo");
  const std::string told = "quorvane: no Quorvane installation at " + missing +
                           " (run \"quorvane install\", or set QUORVANE_PREFIX or --prefix)\n";
  const std::string exported = prefix.Path("out.reg");
  const std::string input = prefix.Path("input.txt");
  std::ofstream(input) << "a job";
  struct Case {
    std::vector<std::string> args;
    int exitCode;  // 2: a usage error is told first
  } cases[] = {
      {{"ports"}, 1},
      {{"port", "show", "Archive"}, 1},
      {{"printer", "list"}, 1},
      {{"printer"}, 1},
      {{"jobs"}, 1},
      {{"log"}, 1},
      {{"log", "--show"}, 1},
      {{"reg", "query", "HKLM\\SOFTWARE"}, 1},
      {{"reg", "export", "HKLM\\SOFTWARE", exported}, 1},
      {{"drive"}, 1},
      {{"drive", "C:"}, 1},
      {{"print", input}, 1},
      {{"printer", "list", "extra"}, 2},
      {{"ports", "extra"}, 2},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--prefix", missing};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args[2]);
    CliResult result = RunQuorvane(args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    if (c.exitCode == 1) {
      EXPECT_EQ(result.err, told);
    }
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(fs::exists(missing)) << "nothing was created";
    EXPECT_FALSE(fs::exists(exported));
  }
  // The same folder once something was installed there reads normally.
  ASSERT_EQ(RunQuorvane({"--prefix", missing, "install"}).exitCode, 0);
  EXPECT_EQ(RunQuorvane({"--prefix", missing, "printer", "list"}).exitCode, 0);
}

TEST(HonestPrefixTest, APermissionFailureOnTheStateSaysSoInWords) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to work as another user in root's prefix";
  TempPrefix prefix;
  ASSERT_EQ(RunQuorvane({"install"}).exitCode, 0);
  ASSERT_EQ(RunQuorvane({"printer", "add", "Office", "--port", "FILE:"}).exitCode, 0);
  fs::permissions(prefix.Dir(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
  std::ofstream(prefix.Path("input.txt")) << "data";
  fs::permissions(prefix.Path("input.txt"), fs::perms::all);
  const std::string hint = ": run as root, or use a prefix of your own with QUORVANE_PREFIX\n";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"printer", "add", "Lab", "--port", "FILE:"}, "quorvane: permission denied on " + prefix.Path("registry.db") + hint},
      {{"print", prefix.Path("input.txt")}, "quorvane: permission denied on " + prefix.Dir() + hint},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    CliResult result = RunQuorvaneAs(65534, 65534, c.args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, c.err);
  }
}

}  // namespace
}  // namespace qv::testing

// The quorvane command's own options and its answers to bad input.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

using qv::testing::RunQuorvane;

TEST(MainTest, HelpListsTheCommandsAndVersionNamesTheProgram) {
  qv::testing::TempPrefix prefix;
  auto help = RunQuorvane({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("\n  reg "), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("\n  drive "), std::string::npos) << help.out;

  auto version = RunQuorvane({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("quorvane ", 0), 0u) << version.out;

  auto commandHelp = RunQuorvane({"reg", "--help"});
  EXPECT_EQ(commandHelp.exitCode, 0);
  EXPECT_NE(commandHelp.out.find("quorvane reg import FILE"), std::string::npos) << commandHelp.out;
}

// Output that can't be written fails the command, short or long, and says why on stderr.
TEST(MainTest, OutputThatCannotBeWrittenExitsOne) {
  qv::testing::TempPrefix prefix;
  ASSERT_EQ(RunQuorvane({"reg", "add", "HKLM\\SOFTWARE\\Big", "/v", "v", "/d", std::string(20000, 'x')}).exitCode, 0);
  struct Case {
    const char* name;
    std::vector<std::string> args;
  } cases[] = {
      {"version", {"--version"}},
      {"help", {"--help"}},
      {"a command's help", {"reg", "--help"}},
      {"a short answer", {"reg", "add", "HKLM\\SOFTWARE\\Small"}},
      {"more than a buffer", {"reg", "query", "HKLM\\SOFTWARE\\Big"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = qv::testing::RunQuorvaneWithOutputTo("/dev/full", c.args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("quorvane: cannot write the output", 0), 0u) << result.err;
  }
  // A failing command keeps its own exit code.
  auto bad = qv::testing::RunQuorvaneWithOutputTo("/dev/full", {"frobnicate"});
  EXPECT_EQ(bad.exitCode, 2);
}

// Bad input: one line naming the problem, then the usage; exit code 2; nothing changed.
TEST(MainTest, BadInputExitsTwoWithTheProblemAndTheUsage) {
  qv::testing::TempPrefix prefix;
  struct Case {
    std::vector<std::string> args;
    const char* problem;
  } cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{"--bogus", "reg"}, "unknown option \"--bogus\""},
      {{"--prefix"}, "--prefix needs a folder"},
      {{"reg"}, "reg needs an operation"},
      {{"reg", "rename", "HKLM\\X"}, "unknown reg operation \"rename\""},
      {{"reg", "add"}, "missing argument"},
      {{"reg", "query", "HKLM\\SOFTWARE", "extra"}, "unexpected argument \"extra\""},
      {{"reg", "add", "HKCU\\Software\\X"}, "bad key path"},
      {{"reg", "add", "HKLM\\SOFTWARE\\\\X"}, "empty key name"},
      {{"reg", "add", "HKLM\\SOFTWARE\\X", "/v", "n", "/t", "REG_FOO"}, "bad type \"REG_FOO\""},
      {{"reg", "add", "HKLM\\SOFTWARE\\X", "/v", "n", "/t", "REG_DWORD", "/d", "12x"}, "bad REG_DWORD data"},
      {{"reg", "add", "HKLM\\SOFTWARE\\X", "/v", "n", "/t", "REG_DWORD", "/d", "4294967296"}, "bad REG_DWORD data"},
      {{"reg", "add", "HKLM\\SOFTWARE\\X", "/v", "n", "/t", "REG_BINARY", "/d", "ABC"}, "bad REG_BINARY data"},
      {{"reg", "add", "HKLM\\SOFTWARE\\X", "/v", "n", "/ve"}, "not both"},
      {{"reg", "add", "HKLM\\SOFTWARE\\X", "/v"}, "/v needs a value"},
      {{"reg", "delete", "HKLM\\SOFTWARE\\X", "/v", "n", "/va"}, "not several"},
      {{"reg", "export", "HKLM\\SOFTWARE"}, "missing argument"},
      {{"drive", "CC:", "/srv"}, "bad drive \"CC:\""},
      {{"drive", "C:", "relative/path"}, "bad folder \"relative/path\""},
      {{"drive", "C:", "/a", "/b"}, "unexpected argument \"/b\""},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& arg : c.args) shown += arg + " ";
    SCOPED_TRACE(shown);
    auto result = RunQuorvane(c.args);
    EXPECT_EQ(result.exitCode, 2);
    std::string firstLine = result.err.substr(0, result.err.find('\n'));
    EXPECT_EQ(firstLine.rfind("quorvane: ", 0), 0u) << result.err;
    EXPECT_NE(firstLine.find(c.problem), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("usage: quorvane"), std::string::npos) << result.err;
  }
  auto missing = RunQuorvane({"reg", "query", "HKLM\\SOFTWARE\\X"});
  EXPECT_EQ(missing.exitCode, 1) << "no bad input may have created the key";
}

TEST(MainTest, PrefixOptionOverridesTheEnvironment) {
  qv::testing::TempPrefix prefix;
  std::string other = prefix.Path("other");
  auto added = RunQuorvane({"--prefix", other, "reg", "add", "HKLM\\SOFTWARE\\Elsewhere"});
  ASSERT_EQ(added.exitCode, 0) << added.err;
  EXPECT_TRUE(std::filesystem::exists(other + "/registry.db"));
  EXPECT_EQ(RunQuorvane({"reg", "query", "HKLM\\SOFTWARE\\Elsewhere"}).exitCode, 1);
  EXPECT_EQ(RunQuorvane({"--prefix=" + other, "reg", "query", "HKLM\\SOFTWARE\\Elsewhere"}).exitCode, 0);
}

}  // namespace

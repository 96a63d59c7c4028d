// quorvane drive: the drive table through the command.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using qv::testing::CliResult;
using qv::testing::RunQuorvane;

TEST(DriveCommandTest, ListSetShowDelete) {
  qv::testing::TempPrefix prefix;
  ASSERT_EQ(RunQuorvane({"reg", "add", "HKLM\\SOFTWARE\\Test", "/f"}).exitCode, 0);  // makes the prefix
  auto fresh = RunQuorvane({"drive"});
  ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
  EXPECT_EQ(fresh.out, "C:  " + prefix.Path("drive_c") + "\nZ:  /\n");

  const std::string print = prefix.Path("print"), jobs = prefix.Path("jobs");
  ASSERT_EQ(RunQuorvane({"drive", "d:", print + "/", "--create"}).exitCode, 0);
  auto shown = RunQuorvane({"drive", "D:"});
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_EQ(shown.out, "D:  " + print + "\n");
  ASSERT_EQ(RunQuorvane({"drive", "C:", "--create", jobs}).exitCode, 0);
  EXPECT_EQ(RunQuorvane({"drive"}).out, "C:  " + jobs + "\nD:  " + print + "\nZ:  /\n");

  ASSERT_EQ(RunQuorvane({"drive", "D:", "--delete"}).exitCode, 0);
  EXPECT_EQ(RunQuorvane({"drive"}).out, "C:  " + jobs + "\nZ:  /\n");
  auto again = RunQuorvane({"drive", "D:", "--delete"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("drive D: is not mapped"), std::string::npos) << again.err;
  EXPECT_EQ(RunQuorvane({"drive", "Q:"}).exitCode, 1);
}

// A drive on a folder that is not there would make every later write through it fail unseen.
TEST(DriveCommandTest, AMissingFolderIsRefusedUnlessAskedToCreateIt) {
  qv::testing::TempPrefix prefix;
  const std::string missing = prefix.Path("missing/jobs");
  std::ofstream(prefix.Path("file")) << "x";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    std::string err;  // part of standard error
    const char* drive;  // what "drive E:" shows afterwards ("" : not mapped)
  } cases[] = {
      {"missing", {"drive", "E:", missing}, 1,
       "drive E:: the folder " + missing + " does not exist (create it, or use --create)", ""},
      {"a file", {"drive", "E:", prefix.Path("file")}, 1, "is not a folder", ""},
      {"--create alone", {"drive", "E:", "--create"}, 2, "--create needs a FOLDER", ""},
      {"created", {"drive", "E:", missing, "--create"}, 0, "", "E:  "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CliResult result = RunQuorvane(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    EXPECT_EQ(RunQuorvane({"drive", "E:"}).out, *c.drive ? c.drive + missing + "\n" : "");
  }
  EXPECT_TRUE(std::filesystem::is_directory(missing));
}

}  // namespace

// The command loads the CUPS side (libqvcups, and with it libcups) only when CUPS is the print
// system in use: every command on the embedded print system starts without it, and a library
// that can't be loaded is a clear failure, not a crash.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using qv::testing::CliResult;
using qv::testing::CliRun;
using qv::testing::RunQuorvaneWith;

// The last `size` characters of a long text (the loader's trace makes stderr long).
std::string Tail(const std::string& text, size_t size = 2000) {
  return text.size() > size ? text.substr(text.size() - size) : text;
}

// The loader tells every library it maps on stderr under LD_DEBUG=files.
CliResult RunTracingLibraries(const std::vector<std::string>& args) {
  CliRun run;
  run.environment["LD_DEBUG"] = "files";
  // Never the machine's scheduler: a socket that is not there, so a CUPS command fails at once.
  run.environment["CUPS_SERVER"] = "/nonexistent/quorvane-test/cups.sock";
  return RunQuorvaneWith(run, args);
}

bool LoadedCups(const std::string& trace) {
  return trace.find("libqvcups.so") != std::string::npos || trace.find("libcups.so") != std::string::npos;
}

TEST(CupsLoadingTest, OnlyCommandsOnCupsLoadLibcups) {
  qv::testing::TempPrefix prefix;
  const std::string input = prefix.Path("page.txt");
  std::ofstream(input) << "one page\r\n";
  struct Row {
    const char* name;
    std::vector<std::string> args;
    bool cups;  // whether the command acts on CUPS
  } rows[] = {
      {"version", {"--version"}, false},
      {"help", {"--help"}, false},
      {"install", {"install"}, false},
      {"registry", {"reg", "add", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane\\Archive",
                    "/v", "Script", "/t", "REG_SZ", "/d", "WriteFile: C:\\Jobs\\?DN?.prn", "/f"}, false},
      {"printer add", {"printer", "add", "Archive", "--port", "Archive"}, false},
      {"print", {"print", "--printer", "Archive", "--title", "page", input}, false},
      {"jobs", {"jobs"}, false},
      {"printers", {"printer", "list"}, false},
      {"embedded named", {"--print-system", "embedded", "printer", "list"}, false},
      {"cups named", {"--print-system", "cups", "printer", "list"}, true},
      {"cups jobs", {"--print-system", "cups", "jobs"}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CliResult result = RunTracingLibraries(row.args);
    EXPECT_EQ(LoadedCups(result.err), row.cups) << Tail(result.err);
    // Embedded commands succeed; the CUPS ones fail for want of a scheduler, not of a library.
    if (row.cups) {
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_NE(result.err.find("can't be reached"), std::string::npos) << Tail(result.err);
    } else {
      EXPECT_EQ(result.exitCode, 0) << Tail(result.err);
    }
  }
  // The job really went through the embedded print system.
  EXPECT_TRUE(std::filesystem::exists(prefix.Path("drive_c/Jobs/page.prn")));
}

// A library folder without a usable libqvcups: commands on CUPS fail naming the file and the
// loader's reason, with the exit code of any failure; the embedded ones don't notice.
TEST(CupsLoadingTest, ALibraryThatCannotBeLoadedIsAFailureNamingIt) {
  qv::testing::TempPrefix prefix;
  ASSERT_EQ(qv::testing::RunQuorvane({"install"}).exitCode, 0);
  const std::string libraries = prefix.Path("libraries");
  std::filesystem::create_directory(libraries);
  // The platform library found first (before the program's run path) decides the library folder.
  for (const auto& entry : std::filesystem::directory_iterator(qv::testing::LibDir()))
    if (entry.path().filename().string().rfind("libqvplatform.so", 0) == 0)
      std::filesystem::copy(entry.path(), libraries / entry.path().filename(),
                            std::filesystem::copy_options::copy_symlinks);
  const std::string library = libraries + "/libqvcups.so.0";
  struct Row {
    const char* name;
    const char* content;  // of libqvcups.so.0; nullptr: no such file
    const char* reason;
  } rows[] = {
      {"missing", nullptr, "cannot open shared object file"},
      {"not a library", "not a library\n", "file too short"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(library);
    if (row.content) std::ofstream(library) << row.content;
    CliRun run;
    run.environment["LD_LIBRARY_PATH"] = libraries;
    run.environment["CUPS_SERVER"] = "/nonexistent/quorvane-test/cups.sock";
    const CliResult cups = RunQuorvaneWith(run, {"--print-system", "cups", "printer", "list"});
    EXPECT_EQ(cups.exitCode, 1);
    EXPECT_EQ(cups.err.rfind("quorvane: cannot load the CUPS print system (" + library + "): ", 0), 0u) << cups.err;
    EXPECT_NE(cups.err.find(row.reason), std::string::npos) << cups.err;
    const CliResult embedded = RunQuorvaneWith(run, {"printer", "list"});
    EXPECT_EQ(embedded.exitCode, 0) << embedded.err;
  }
}

}  // namespace

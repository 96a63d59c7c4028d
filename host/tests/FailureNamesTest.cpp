// A failure names what failed, with its path: the spool folder, the registry file, the
// destination, or the input only when the input is what failed. Made as root can make them:
// a file where a folder is expected, a file size limit for a full disk, an immutable file for a
// read-only one (skipped where the file system or the container won't make one).
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>

namespace qv::testing {
namespace {

namespace fs = std::filesystem;

class FailureNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"install"}, {"port", "add", "Archive", "--write-file", "C:\\Out\\?DN?.prn"},
          {"printer", "add", "Office", "--port", "Archive"}}) {
      CliResult result = RunQuorvane(args);
      ASSERT_EQ(result.exitCode, 0) << result.err;
    }
  }
  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(prefix.Path(name), std::ios::binary) << content;
    return prefix.Path(name);
  }
  // Makes `path` immutable (or mutable again); false where that can't be done here.
  static bool SetImmutable(const std::string& path, bool immutable) {
    const std::string command = std::string("chattr ") + (immutable ? "+i " : "-i ") + path + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
  }

  TempPrefix prefix;
};

TEST_F(FailureNamesTest, EachFailureNamesWhatFailedWithItsPath) {
  const std::string input = Write("report.txt", "data");
  const std::string large = Write("large.bin", std::string(2 << 20, 'x'));
  const std::string regFile =
      Write("added.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Added]\n\"a\"=\"b\"\n");
  const std::string spool = prefix.Path("spool");
  const std::string registry = prefix.Path("registry.db");
  const std::string out = prefix.Path("drive_c/Out");
  struct Row {
    const char* name;
    std::function<bool()> arrange;  // false: the means is not available here, the row is skipped
    std::function<void()> restore;
    CliRun run;
    std::vector<std::string> args;
    std::string err;  // all of standard error, or (when `part`) a part of it
    bool part = false;
  };
  auto nothing = [] { return true; };
  auto noRestore = [] {};
  auto limited = [](unsigned long bytes) {
    CliRun run;
    run.fileSizeLimit = bytes;
    return run;
  };
  auto fromInput = [](const std::string& path) {
    CliRun run;
    run.input = path;
    return run;
  };
  // Puts a file where `path`'s folder is expected; `removed` puts the folder back.
  auto fileInsteadOf = [](const std::string& path) {
    return [path] {
      fs::remove_all(path);
      std::ofstream(path) << "";
      return true;
    };
  };
  auto removed = [](const std::string& path) { return [path] { fs::remove(path); }; };
  // The spool's job-number lock file replaced by a link that leads nowhere.
  const std::string lock = spool + "/.jobid.lock";
  auto danglingLock = [&] {
    fs::remove(lock);
    fs::create_symlink(prefix.Path("nowhere"), lock);
    return true;
  };
  auto readOnlyRegistry = [&] { return SetImmutable(registry, true); };
  auto writableRegistry = [&] { SetImmutable(registry, false); };
  // A print writes the registry only to reserve a new block of job numbers: none is left to
  // share (the lock file that holds the rest is emptied) when the registry is made read-only.
  auto readOnlyRegistryNoNumbersLeft = [&] {
    std::ofstream(lock, std::ios::trunc);
    return readOnlyRegistry();
  };
  const std::string unwritable = "quorvane: the registry " + registry + " can't be written: Operation not permitted (";
  const Row rows[] = {
      {"SpoolFolderIsAFile", fileInsteadOf(spool), removed(spool), CliRun{}, {"print", input},
       "quorvane: cannot spool " + input + ": the spool folder " + spool + " is not a folder\n"},
      {"SpoolFolderIsFull", nothing, noRestore, limited(1 << 20), {"print", large},
       "quorvane: cannot spool " + large + ": the spool folder " + spool + ": There is not enough space on the disk.\n"},
      {"JobNumberLockIsADanglingLink", danglingLock, removed(lock), CliRun{}, {"print", input},
       "quorvane: cannot spool " + input + ": the spool's lock file " + lock +
           " (remove it: it is made again): The path could not be found.\n"},
      {"RegistryIsReadOnlyForAnImport", readOnlyRegistry, writableRegistry, fromInput(regFile), {"reg", "import", "-"},
       unwritable + "standard input:3: HKEY_LOCAL_MACHINE\\SOFTWARE\\Added)\n"},
      {"RegistryIsReadOnlyForAPrint", readOnlyRegistryNoNumbersLeft, writableRegistry, CliRun{}, {"print", input},
       unwritable + "cannot spool " + input + ")\n"},
      {"RegistryIsReadOnlyForAPort", readOnlyRegistry, writableRegistry, CliRun{}, {"port", "add", "Added", "--write-file", "C:\\a.prn"},
       unwritable + "port \"Added\" not stored)\n", true},
      {"RegistryIsReadOnlyForAnInstall", readOnlyRegistry, writableRegistry, CliRun{}, {"install"},
       unwritable + "DllRegisterServer of the job processor failed)\n"},
      {"RegistryIsReadOnlyForAnUninstall", readOnlyRegistry, writableRegistry, CliRun{}, {"uninstall"},
       unwritable + "the monitor \"Quorvane\" was kept)\n"},
      {"InputIsMissing", nothing, noRestore, CliRun{}, {"print", prefix.Path("missing.txt")},
       "quorvane: cannot read " + prefix.Path("missing.txt") + ": No such file or directory\n"},
      {"TemporaryFolderIsAFile", nothing, noRestore, CliRun{"/dev/null", {}, 0, {{"TMPDIR", input}}}, {"print", input},
       ": WritePort of the port \"Archive\" failed (" + input + "/DRN", true},
      {"DestinationFolderIsAFile", fileInsteadOf(out), removed(out), CliRun{}, {"print", input},
       ": Error writing file: C:\\Out\\report.txt.prn (" + out + "/report.txt.prn): ", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!row.arrange()) {
      std::cout << "[ SKIPPED  ] row " << row.name << ": can't be arranged here\n";
      continue;
    }
    const CliResult result = RunQuorvaneWith(row.run, row.args);
    row.restore();
    EXPECT_EQ(result.exitCode, 1) << result.err;
    if (row.part)
      EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
    else
      EXPECT_EQ(result.err, row.err);
  }
  // With everything put back, the same commands work.
  EXPECT_EQ(RunQuorvaneWith(fromInput(regFile), {"reg", "import", "-"}).exitCode, 0);
  EXPECT_EQ(RunQuorvane({"print", input}).exitCode, 0);
}

}  // namespace
}  // namespace qv::testing

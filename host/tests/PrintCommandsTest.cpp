// quorvane printer, print and jobs: the embedded print system through the command.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <qv/prefix.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace qv::testing {
namespace {

class PrintCommandsTest : public ::testing::Test {
 protected:
  TempPrefix prefix;

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string Write(const std::string& name, const std::string& data) const {
    std::string path = prefix.Path(name);
    std::ofstream(path, std::ios::binary) << data;
    return path;
  }
  static std::string AllByteValues(size_t copies) {
    std::string data;
    for (size_t i = 0; i < copies * 256; ++i) data += static_cast<char>(i % 256);
    return data;
  }
  // What the spool folder holds besides the counter's lock and the printed jobs.
  std::set<std::string> SpoolLeftovers() const {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(prefix.Path("spool"), error))
      names.insert(entry.path().filename().string());
    names.erase(".jobid.lock");
    names.erase("printed");
    names.erase("sent");
    return names;
  }
  std::string Printed(const std::string& printer, const std::string& idLine) const {
    return prefix.Path("spool/printed/" + printer + "/" + JobId(idLine) + ".prn");
  }
  static void Run(const std::vector<std::string>& args) {
    CliResult result = RunQuorvane(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }
  // Installs the recording test monitor with the port QV1 through the registry.
  void InstallTestMonitor() const {
    std::string key = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Test";
    Run({"reg", "add", key, "/v", "Driver", "/d", "QVTESTMON.DLL", "/f"});
    Run({"reg", "add", key, "/v", "Record", "/d", prefix.Path("record"), "/f"});
    Run({"reg", "add", key + "\\QV1", "/f"});
  }
};

TEST_F(PrintCommandsTest, PrinterAddListDelete) {
  Run({"printer", "add", "Office", "--port", "FILE:"});
  Run({"printer", "add", "Archive", "--port=QV1", "--driver", "Plain Driver", "--force"});
  CliResult list = RunQuorvane({"printer", "list"});
  EXPECT_EQ(list.out,
            "NAME     PORT   DRIVER\n"
            "Archive  QV1    Plain Driver\n"
            "Office   FILE:  Generic / Text Only\n");

  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } cases[] = {
      {{"printer", "add", "office", "--port", "FILE:"}, 1, "printer \"office\": The printer already exists."},
      {{"printer", "add", "a/b", "--port", "FILE:"}, 1, "The printer name is not valid."},
      {{"printer", "add", "Lab"}, 2, "needs --port"},
      {{"printer", "add", "Lab", "--port", ""}, 2, "needs --port"},
      {{"printer", "delete", "Nobody"}, 1, "printer \"Nobody\" does not exist"},
      {{"printer", "rename", "Office"}, 2, "unknown printer command"},
  };
  for (const Case& c : cases) {
    CliResult result = RunQuorvane(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args[2];
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  Run({"printer", "delete", "Archive"});
  EXPECT_EQ(RunQuorvane({"printer"}).out, "NAME    PORT   DRIVER\nOffice  FILE:  Generic / Text Only\n");
}

TEST_F(PrintCommandsTest, PrintToFileKeepsEveryByte) {
  Run({"printer", "add", "Office", "--port", "FILE:"});
  std::string data = AllByteValues(1024);
  CliResult printed = RunQuorvane({"print", Write("input.bin", data)});
  ASSERT_EQ(printed.exitCode, 0) << printed.err;
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(Read(Printed("Office", printed.out)), data);
  EXPECT_TRUE(SpoolLeftovers().empty());
  EXPECT_EQ(RunQuorvane({"jobs"}).out, "");

  std::string command = "printf 'from a pipe' | '" + BinDir() + "/quorvane' print - > " + prefix.Path("out");
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(Read(Printed("Office", Read(prefix.Path("out")))), "from a pipe");
}

TEST_F(PrintCommandsTest, SeveralFilesAreJobsOfTheirOwnWithConsecutiveNumbers) {
  Run({"printer", "add", "Office", "--port", "FILE:"});
  struct Case {
    const char* name;
    std::vector<std::string> contents;
  } cases[] = {
      {"one file", {"alone"}},
      {"three files", {"first", "", "third\r\n"}},
      {"a file and a large one", {"small", AllByteValues(600)}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"print"};
    for (size_t i = 0; i < c.contents.size(); ++i) args.push_back(Write("in" + std::to_string(i), c.contents[i]));
    CliResult printed = RunQuorvane(args);
    ASSERT_EQ(printed.exitCode, 0) << c.name << ": " << printed.err;
    const std::vector<unsigned> ids = JobIds(printed.out);
    ASSERT_EQ(ids.size(), c.contents.size()) << c.name;
    for (size_t i = 0; i < ids.size(); ++i) {
      EXPECT_EQ(ids[i], ids[0] + i) << c.name;
      EXPECT_EQ(Read(prefix.Path("spool/printed/Office/" + std::to_string(ids[i]) + ".prn")), c.contents[i]) << c.name;
    }
  }
  EXPECT_TRUE(SpoolLeftovers().empty());
  EXPECT_EQ(RunQuorvane({"jobs"}).out, "");
}

TEST_F(PrintCommandsTest, RefusedPrintsLeaveNothingInTheSpool) {
  Run({"printer", "add", "Office", "--port", "FILE:"});
  std::string input = Write("input.bin", "data");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } cases[] = {
      {{"print", "--printer", "Nobody", input}, 1, "printer \"Nobody\" does not exist"},
      {{"print", "--printer", "Nobody", input, input}, 1, "2 file(s) were not printed"},
      {{"print", prefix.Path("missing.bin")}, 1, "No such file or directory"},
      {{"print", prefix.Dir()}, 1, "it is a folder"},
      {{"print", input, prefix.Path("missing.bin")}, 1, "No such file or directory"},
      {{"print", "-", input, "-"}, 2, "standard input (\"-\") can be printed only once"},
      {{"print", input, ""}, 2, "an empty file name can't be printed"},
      {{"print", "--colour", input}, 2, "unknown option"},
  };
  for (const Case& c : cases) {
    CliResult result = RunQuorvane(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_TRUE(SpoolLeftovers().empty());

  Run({"printer", "delete", "Office"});
  EXPECT_EQ(RunQuorvane({"print", input}).exitCode, 1) << "no printer at all";
  Run({"printer", "add", "One", "--port", "FILE:"});
  Run({"printer", "add", "Two", "--port", "FILE:"});
  EXPECT_EQ(RunQuorvane({"print", input}).exitCode, 2) << "which of the two?";
}

TEST_F(PrintCommandsTest, AJobWhosePortCantBeReachedStaysListedAsFailed) {
  Run({"reg", "add", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Lost\\QV9", "/f"});
  Run({"reg", "add", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Lost", "/v", "Driver",
       "/d", "GONE.DLL", "/f"});
  Run({"printer", "add", "Archive", "--port", "QV9", "--force"});
  CliResult result = RunQuorvane({"print", "--title", "Q3 report", Write("input.bin", "data")});
  EXPECT_EQ(result.exitCode, 1);
  std::string id = JobId(result.out);
  EXPECT_EQ(result.err, "quorvane: job " + id + " (printer \"Archive\", port \"QV9\"): the library \"GONE.DLL\" of the "
                        "monitor \"Lost\" is not in " + qv::LibraryDir() + ": The library could not be found.\n"
                        "quorvane: job " + id + " failed; it is kept in the spool (\"quorvane jobs --retry " + id +
                        "\" runs it again)\n");
  std::string jobs = RunQuorvane({"jobs"}).out;
  EXPECT_NE(jobs.find("Archive  Q3 report"), std::string::npos) << jobs;
  EXPECT_NE(jobs.find("failed    the library \"GONE.DLL\""), std::string::npos) << jobs;
  EXPECT_EQ(RunQuorvane({"jobs", "--run"}).exitCode, 0) << "a failed job waits to be retried";
  EXPECT_EQ(RunQuorvane({"jobs", "--retry", id}).exitCode, 1);
  Run({"jobs", "--delete", id});
  EXPECT_TRUE(SpoolLeftovers().empty());
  EXPECT_EQ(RunQuorvane({"jobs", "--delete", id}).exitCode, 1);
}

TEST_F(PrintCommandsTest, PrintThroughAMonitorPortAndManyAtOnce) {
  InstallTestMonitor();
  Run({"printer", "add", "Archive", "--port", "QV1", "--driver", "Plain Driver"});
  std::string data = AllByteValues(4096);  // 1 MiB
  CliResult printed = RunQuorvane({"print", "--user", "bob", "--machine", "m1", Write("input.bin", data)});
  ASSERT_EQ(printed.exitCode, 0) << printed.err;
  EXPECT_EQ(Read(prefix.Path("record.data")), data);
  std::string record = Read(prefix.Path("record"));
  EXPECT_NE(record.find("job doc=input.bin user=bob machine=m1 notify=bob type=RAW driver=Plain Driver "
                        "size=1048576 priority=1 position=1 status=16\n"),
            std::string::npos) << record;

  std::vector<CliResult> results(6);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i)
    threads.emplace_back([&, i] {
      results[i] = RunQuorvane({"print", "--title", "job " + std::to_string(i), Write("in" + std::to_string(i), "x")});
    });
  for (auto& thread : threads) thread.join();
  std::set<std::string> ids{printed.out};
  for (const CliResult& result : results) {
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ids.insert(result.out);
  }
  EXPECT_EQ(ids.size(), results.size() + 1) << "every job has a number of its own";
  EXPECT_EQ(Read(prefix.Path("record.data")), data + std::string(results.size(), 'x'));
  EXPECT_TRUE(SpoolLeftovers().empty());
}

// The printer as lp takes it, and options never mistaken for file names.
TEST_F(PrintCommandsTest, PrintTakesLpsPrinterOptionAndRefusesUnknownOptions) {
  Run({"printer", "add", "Office", "--port", "FILE:"});
  Run({"printer", "add", "Lab", "--port", "FILE:"});
  const std::string input = Write("input.txt", "x");
  Write("-x", "dash");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    std::string out;  // the request id's printer ("" : none told)
    std::string err;  // part of standard error
  } cases[] = {
      {"-d PRINTER", {"print", "-d", "Lab", input}, 0, "Lab", ""},
      {"-dPRINTER", {"print", "-dOffice", input}, 0, "Office", ""},
      {"--printer", {"print", "--printer", "Lab", input}, 0, "Lab", ""},
      {"an unknown short option", {"print", "-x", "-d", "Lab", input}, 2, "", "unknown option \"-x\""},
      {"an unknown long option", {"print", "--copies", "2", input}, 2, "", "unknown option \"--copies\""},
      {"-d without a printer", {"print", input, "-d"}, 2, "", "-d needs a printer"},
      {"no printer named", {"print", input}, 2, "", "several printers are installed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CliResult result = RunQuorvane(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    if (c.out.empty()) {
      EXPECT_EQ(result.out, "");
    } else {
      EXPECT_EQ(result.out, "request id is " + c.out + "-" + JobId(result.out) + " (1 file(s))\n");
    }
  }
  // After "--" a name that starts with "-" is a file.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(prefix.Dir());
  CliResult dashed = RunQuorvane({"print", "-d", "Lab", "--", "-x"});
  std::filesystem::current_path(before);
  EXPECT_EQ(dashed.exitCode, 0) << dashed.err;
  EXPECT_EQ(Read(Printed("Lab", dashed.out)), "dash");
}

}  // namespace
}  // namespace qv::testing

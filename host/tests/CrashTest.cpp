// `quorvane print` killed (SIGKILL) at random moments, again and again, printing one file or a
// batch of several. Whatever moment it dies at, every job whose number it printed is in the
// spool or in its output, whole; no output is ever partial; the registry is intact; no serial
// number is issued twice. (A power cut can't
// be made here: the flushes that guard against it are named in the code where they are made.)
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace qv::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kKills = 200;
constexpr unsigned kSeed = 20261207;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The data of file `part` of run `run`: different for every file, some runs large enough that
// the kill may fall inside the copies.
std::string RunData(int run, int part = 0) {
  std::mt19937 random(static_cast<unsigned>(run) * 7919u + static_cast<unsigned>(part) * 104729u + 1);
  size_t size = run % 5 == 0 ? 300000 + run : 1024 + static_cast<size_t>(run) * 13;
  std::string data = "run " + std::to_string(run) + " part " + std::to_string(part) + "\n";
  while (data.size() < size) data += static_cast<char>(random() & 0xFF);
  return data;
}

// `quorvane print` started with its standard output in a pipe.
struct Started {
  pid_t pid = -1;
  int out = -1;
};

// Every third run prints a batch of this many files in one call.
constexpr int kBatchFiles = 3;
int FilesOfRun(int run) { return run % 3 == 0 ? kBatchFiles : 1; }

Started StartPrint(const std::vector<std::string>& files) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  const std::string program = BinDir() + "/quorvane";
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    std::vector<const char*> argv{program.c_str(), "print", "--printer", "Crash"};
    for (const std::string& file : files) argv.push_back(file.c_str());
    argv.push_back(nullptr);
    execv(program.c_str(), const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  close(fds[1]);
  return {pid, fds[0]};
}

std::string Drain(int fd) {
  std::string text;
  char buffer[256];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(got));
  close(fd);
  return text;
}

// The job number of a line "request id is PRINTER-NUMBER (1 file(s))".
long JobNumber(const std::string& line) {
  size_t end = line.find(" (");
  size_t dash = line.rfind('-', end);
  return dash == std::string::npos ? -1 : std::stol(line.substr(dash + 1, end - dash - 1));
}

std::string IntegrityCheck(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
      result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return result;
}

class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(prefix.Path("tmp"));
    setenv("TMPDIR", prefix.Path("tmp").c_str(), 1);
    ASSERT_EQ(RunQuorvane({"install"}).exitCode, 0);
    ASSERT_EQ(RunQuorvane({"reg", "add", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane\\QV1",
                           "/v", "Script", "/d", "WriteFile: C:\\Out\\?ID?-?SN?.prn", "/f"})
                  .exitCode,
              0);
    ASSERT_EQ(RunQuorvane({"printer", "add", "Crash", "--port", "QV1"}).exitCode, 0);
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  std::string Out() const { return prefix.Path("drive_c/Out"); }

  // Output files by job id: the serial numbers and contents of the files named "<id>-<sn>.prn".
  struct Output {
    long serial;
    std::string data;
  };
  std::multimap<long, Output> Outputs() const {
    std::multimap<long, Output> outputs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(Out(), error)) {
      std::string name = entry.path().filename().string();
      if (name[0] == '.') continue;  // a copy that was killed before its rename
      size_t dash = name.find('-');
      outputs.emplace(std::stol(name.substr(0, dash)), Output{std::stol(name.substr(dash + 1)), ReadAll(entry.path())});
    }
    return outputs;
  }

  TempPrefix prefix;
};

TEST_F(CrashTest, AKilledPrintLosesNoAcceptedJobAndLeavesNoPartialOutput) {
  std::mt19937 random(kSeed);
  std::map<long, std::pair<int, int>> printed;  // job number shown -> the run and file whose data it is
  std::set<std::string> contents;
  // How long one print takes here (the shorter of two, the first one pays for cold caches): the
  // kills fall anywhere from a print's start to a bit past its usual end.
  std::chrono::microseconds shortest = std::chrono::hours(1);
  for (int warmUp = 0; warmUp < 2; ++warmUp) {
    const std::string input = prefix.Path("in-warm-" + std::to_string(warmUp));
    std::ofstream(input, std::ios::binary) << RunData(0);
    auto started = std::chrono::steady_clock::now();
    CliResult print = RunQuorvane({"print", "--printer", "Crash", input});
    shortest = std::min(shortest, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started));
    ASSERT_EQ(print.exitCode, 0) << print.err;
    printed[JobNumber(print.out)] = {0, 0};
  }
  contents.insert(RunData(0));
  std::uniform_int_distribution<long> moment(0, (shortest * 6 / 5).count());

  int killedInFlight = 0;
  for (int run = 1; run <= kKills; ++run) {
    std::vector<std::string> inputs;
    for (int part = 0; part < FilesOfRun(run); ++part) {
      inputs.push_back(prefix.Path("in-" + std::to_string(run) + "-" + std::to_string(part)));
      std::ofstream(inputs.back(), std::ios::binary) << RunData(run, part);
      contents.insert(RunData(run, part));
    }
    Started print = StartPrint(inputs);
    ASSERT_GT(print.pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    kill(print.pid, SIGKILL);
    int status = 0;
    waitpid(print.pid, &status, 0);
    if (WIFSIGNALED(status)) ++killedInFlight;
    std::istringstream lines(Drain(print.out));
    // One line per accepted job, in the order of the files.
    int part = 0;
    for (std::string line; std::getline(lines, line);) printed[JobNumber(line)] = {run, part++};
  }
  EXPECT_GT(killedInFlight, kKills / 5) << "the kills should mostly fall while a print runs";

  auto check = [&](const char* when) {
    std::multimap<long, Output> outputs = Outputs();
    std::set<long> serials;
    for (const auto& [id, output] : outputs) {
      EXPECT_TRUE(contents.count(output.data)) << when << ": output of job " << id << " is partial or foreign ("
                                               << output.data.size() << " bytes)";
      EXPECT_TRUE(serials.insert(output.serial).second) << when << ": serial " << output.serial << " issued twice";
    }
    for (const auto& [id, file] : printed) {
      const auto [run, part] = file;
      const std::string expected = RunData(run, part);
      bool inOutput = false;
      for (auto [at, end] = outputs.equal_range(id); at != end; ++at) inOutput = inOutput || at->second.data == expected;
      char name[32];
      std::snprintf(name, sizeof name, "%05ld", id);
      bool inSpool = fs::exists(prefix.Path(std::string("spool/") + name + ".shd")) &&
                     ReadAll(prefix.Path(std::string("spool/") + name + ".spl")) == expected;
      EXPECT_TRUE(inOutput || inSpool) << when << ": job " << id << " (run " << run << ") was shown and is lost";
    }
    EXPECT_EQ(IntegrityCheck(prefix.Path("registry.db")), "ok") << when;
    if (!serials.empty()) {
      CliResult stored = RunQuorvane({"reg", "query", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane",
                                      "/v", "SerialNumber"});
      // The last number on the line "SerialNumber  REG_SZ  <n>".
      size_t digits = stored.out.find_last_of("0123456789");
      size_t start = stored.out.find_last_not_of("0123456789", digits);
      long counter = digits == std::string::npos ? 0 : std::stol(stored.out.substr(start + 1, digits - start));
      EXPECT_GE(counter, *serials.rbegin()) << when << ": the counter is behind the files named with it";
    }
  };
  check("after the kills");
  // The jobs left waiting are sent by the next command; all of them reach their outputs.
  CliResult run = RunQuorvane({"jobs", "--run"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  check("after the waiting jobs were sent");
  std::multimap<long, Output> outputs = Outputs();
  for (const auto& [id, runIndex] : printed) EXPECT_TRUE(outputs.count(id)) << "job " << id << " never reached its output";

  // Litter of the killed processes: staging files of interrupted copies and temporary job files.
  // Aged past the sweep's wait, the next print sweeps every one whose owner is gone.
  auto litter = [&] {
    std::vector<std::string> names;
    for (const std::string& folder : {Out(), prefix.Path("tmp")}) {
      std::error_code error;
      for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".qvcopy-", 0) == 0 || name.rfind("DRN", 0) == 0) names.push_back(name);
      }
    }
    return names;
  };
  const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (const std::string& name : litter()) {
    std::error_code error;
    for (const std::string& folder : {Out(), prefix.Path("tmp")})
      fs::last_write_time(folder + "/" + name, longAgo, error);
  }
  std::ofstream(prefix.Path("in-last"), std::ios::binary) << RunData(kKills + 1);
  CliResult last = RunQuorvane({"print", "--printer", "Crash", prefix.Path("in-last")});
  EXPECT_EQ(last.exitCode, 0) << last.err;
  EXPECT_EQ(litter(), std::vector<std::string>{}) << "crash litter is swept once its owner is gone";
}

}  // namespace
}  // namespace qv::testing

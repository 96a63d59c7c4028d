#include "KilledPrints.h"

#include "CliRunner.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>

namespace qv::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The data of run `run`: different for every run.
std::string RunData(int run, size_t size) {
  std::mt19937_64 random(static_cast<uint64_t>(run) * 7919u + 1);
  std::string data = "run " + std::to_string(run) + "\n";
  const size_t start = data.size();
  data.resize(std::max(size, start));
  for (size_t at = start; at < data.size(); at += 8) {
    const uint64_t word = random();
    std::memcpy(&data[at], &word, std::min<size_t>(8, data.size() - at));
  }
  return data;
}

size_t Digest(const std::string& data) { return std::hash<std::string_view>{}(data); }

// `quorvane print` started with its standard output in a pipe.
struct Started {
  pid_t pid = -1;
  int out = -1;
};

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

bool StartsWith(const std::string& text, std::string_view start) { return text.rfind(start, 0) == 0; }

}  // namespace

void KilledPrintsTest::SetUp() {
  fs::create_directories(prefix.Path("tmp"));
  setenv("TMPDIR", prefix.Path("tmp").c_str(), 1);
  ASSERT_EQ(RunQuorvane({"install"}).exitCode, 0);
  ASSERT_EQ(RunQuorvane({"reg", "add", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane\\QV1", "/v",
                         "Script", "/d", "WriteFile: C:\\Out\\?ID?-?SN?.prn", "/f"})
                .exitCode,
            0);
  ASSERT_EQ(RunQuorvane({"printer", "add", "Crash", "--port", "QV1"}).exitCode, 0);
}

void KilledPrintsTest::TearDown() { unsetenv("TMPDIR"); }

std::multimap<long, KilledPrintsTest::Output> KilledPrintsTest::Outputs() const {
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

void KilledPrintsTest::CheckOutputsAndSpool(const char* when) const {
  std::multimap<long, Output> outputs = Outputs();
  std::set<long> serials;
  for (const auto& [id, output] : outputs) {
    EXPECT_TRUE(runByDigest_.count(Digest(output.data)))
        << when << ": output of job " << id << " is partial or foreign (" << output.data.size() << " bytes)";
    EXPECT_TRUE(serials.insert(output.serial).second) << when << ": serial " << output.serial << " issued twice";
  }
  for (const auto& [id, run] : printed_) {
    const size_t expected = digestOfRun_.at(run);
    bool inOutput = false;
    for (auto [at, end] = outputs.equal_range(id); at != end; ++at) inOutput = inOutput || Digest(at->second.data) == expected;
    char name[32];
    std::snprintf(name, sizeof name, "%05ld", id);
    bool inSpool = fs::exists(prefix.Path(std::string("spool/") + name + ".shd")) &&
                   Digest(ReadAll(prefix.Path(std::string("spool/") + name + ".spl"))) == expected;
    EXPECT_TRUE(inOutput || inSpool) << when << ": job " << id << " (run " << run / kFilesPerRunMax << ", file "
                                     << run % kFilesPerRunMax << ") was shown and is lost";
  }
  EXPECT_EQ(IntegrityCheck(prefix.Path("registry.db")), "ok") << when;
  if (!serials.empty()) {
    CliResult stored = RunQuorvane(
        {"reg", "query", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane", "/v", "SerialNumber"});
    // The last number on the line "SerialNumber  REG_SZ  <n>".
    size_t digits = stored.out.find_last_of("0123456789");
    size_t start = stored.out.find_last_not_of("0123456789", digits);
    long counter = digits == std::string::npos ? 0 : std::stol(stored.out.substr(start + 1, digits - start));
    EXPECT_GE(counter, *serials.rbegin()) << when << ": the counter is behind the files named with it";
  }
}

std::vector<std::string> KilledPrintsTest::Litter() const {
  std::vector<std::string> paths;
  auto collect = [&](const std::string& folder, auto isLitter) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
      if (isLitter(entry.path().filename().string())) paths.push_back(entry.path().string());
  };
  collect(Out(), [](const std::string& name) { return StartsWith(name, ".qvcopy-"); });
  collect(prefix.Path("tmp"), [](const std::string& name) { return StartsWith(name, "DRN"); });
  // In the spool: data and descriptions under their temporary names (".00012.spl.XXXXXX"), and
  // data whose description never came or is gone.
  const std::string spool = prefix.Path("spool/");
  collect(spool, [&](const std::string& name) {
    if (name[0] == '.') return name.find(".spl.") != std::string::npos || name.find(".shd.") != std::string::npos;
    const size_t dot = name.size() - 4;
    return name.size() > 4 && name.compare(dot, 4, ".spl") == 0 && !fs::exists(spool + name.substr(0, dot) + ".shd");
  });
  return paths;
}

void KilledPrintsTest::NoteRun(int run, const std::string& data) {
  const size_t digest = Digest(data);
  runByDigest_[digest] = run;
  digestOfRun_[run] = digest;
}

void KilledPrintsTest::KillPrintsAndCheck(const KillPlan& plan) {
  std::mt19937 random(plan.seed);
  // How long one print takes here (the shorter of two, the first one pays for cold caches): the
  // kills fall anywhere from a print's start to a bit past its usual end.
  std::chrono::microseconds shortest = std::chrono::hours(1);
  const std::string warmUpData = RunData(0, plan.dataSize(0));
  NoteRun(0, warmUpData);
  for (int warmUp = 0; warmUp < 2; ++warmUp) {
    const std::string input = prefix.Path("in-warm-" + std::to_string(warmUp));
    std::ofstream(input, std::ios::binary) << warmUpData;
    auto started = std::chrono::steady_clock::now();
    CliResult print = RunQuorvane({"print", "--printer", "Crash", input});
    shortest = std::min(shortest, std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now() - started));
    ASSERT_EQ(print.exitCode, 0) << print.err;
    printed_[JobNumber(print.out)] = 0;
    fs::remove(input);
  }
  std::uniform_int_distribution<long> moment(0, (shortest * 6 / 5).count());

  int killedInFlight = 0;
  for (int run = 1; run <= plan.kills; ++run) {
    std::vector<std::string> inputs;
    const int files = plan.filesOfRun ? std::clamp(plan.filesOfRun(run), 1, kFilesPerRunMax) : 1;
    for (int part = 0; part < files; ++part) {
      const int key = run * kFilesPerRunMax + part;
      inputs.push_back(prefix.Path("in-" + std::to_string(key)));
      const std::string data = RunData(key, plan.dataSize(run));
      NoteRun(key, data);
      std::ofstream(inputs.back(), std::ios::binary) << data;
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
    for (std::string line; std::getline(lines, line);) printed_[JobNumber(line)] = run * kFilesPerRunMax + part++;
    for (const std::string& input : inputs) fs::remove(input);  // an accepted job has its own copy in the spool
  }
  EXPECT_GT(killedInFlight, plan.kills / 5) << "the kills should mostly fall while a print runs";

  CheckOutputsAndSpool("after the kills");
  // The jobs left waiting are sent by the next command; all of them reach their outputs.
  CliResult run = RunQuorvane({"jobs", "--run"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  CheckOutputsAndSpool("after the waiting jobs were sent");
  std::multimap<long, Output> outputs = Outputs();
  for (const auto& [id, runIndex] : printed_) EXPECT_TRUE(outputs.count(id)) << "job " << id << " never reached its output";

  // The litter is swept only once it has gone unwritten for a while: aged past that wait, the
  // next print sweeps every piece whose owner is gone.
  const std::vector<std::string> litter = Litter();
  const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (const std::string& path : litter) {
    std::error_code error;
    fs::last_write_time(path, longAgo, error);
  }
  const int last = plan.kills + 1;
  {
    const std::string data = RunData(last * kFilesPerRunMax, plan.dataSize(last));
    NoteRun(last * kFilesPerRunMax, data);
    std::ofstream(prefix.Path("in-last"), std::ios::binary) << data;
  }
  CliResult print = RunQuorvane({"print", "--printer", "Crash", prefix.Path("in-last")});
  EXPECT_EQ(print.exitCode, 0) << print.err;
  EXPECT_EQ(Litter(), std::vector<std::string>{}) << "crash litter is swept once its owner is gone (" << litter.size()
                                                  << " pieces before the sweep)";
  CheckOutputsAndSpool("after the sweep");
}

}  // namespace qv::testing

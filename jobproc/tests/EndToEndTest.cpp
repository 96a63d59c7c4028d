// The whole road on the embedded print system: `quorvane print` spools a job, the monitor
// captures it and hands it to the job processor, whose write-file action stores it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <qv/prefix.h>
#include <qv/print_system.h>
#include <windows.h>

#include <filesystem>
#include <regex>
#include <set>

#include "RunProgram.h"
#include "TempPrefix.h"
#include "TestRegistry.h"

using namespace jobproc_testing;
namespace fs = std::filesystem;

namespace {

const std::string kScript = "WriteFile: C:\\Jobs\\?UN?\\?DN?-?SN?.prn";

// Every byte value, and more than one chunk of the spooler's writes.
std::string JobData(int seed) {
  std::string data;
  for (int i = 0; i < 200000; ++i) data += static_cast<char>((i * 7 + seed) & 0xFF);
  return data;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& needed : {qv::testing::BinDir() + "/quorvane", qv::LibraryDir() + "/libqvpm.so",
                                      qv::LibraryDir() + "/libmarrowjetui.so"})
      if (!fs::exists(needed)) GTEST_SKIP() << needed << " is not built";
    InstallMonitor();
    RegisterJobProcessor();
    SetText(std::string(kMonitorKey) + "\\QV1", "Script", kScript);
    ASSERT_EQ(qv::AddPrinter("Jobs", "QV1", "Generic"), 0u);
  }

  void InstallMonitor() {
    std::u16string name = u"Quorvane", environment = u"Windows NT x86", library = u"QVPM.DLL";
    MONITOR_INFO_2W info{name.data(), environment.data(), library.data()};
    ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) << GetLastError();
  }

  void RegisterJobProcessor() {
    void* library = dlopen((qv::LibraryDir() + "/libmarrowjetui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto registerServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(library, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    EXPECT_EQ(registerServer(), S_OK);
    dlclose(library);
  }

  ProgramResult Print(const std::string& file, const std::string& title) {
    return RunProgram("quorvane", {"print", "--printer", "Jobs", "--user", "alice", "--title", title, file},
                      prefix.Dir());
  }

  fs::path UserFolder() const { return fs::path(prefix.Path("drive_c")) / "Jobs" / "alice"; }

  qv::testing::TempPrefix prefix;
};

TEST_F(EndToEndTest, PrintedJobLandsInTheFileItsTemplateNames) {
  const std::string input = prefix.Path("input.bin");
  WriteFile(input, JobData(0));
  LogFile log(prefix.Path("quorvane.log"));

  const ProgramResult first = Print(input, "report");
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(ReadFile((UserFolder() / "report-1.prn").string()), JobData(0));
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), "1");

  const ProgramResult second = Print(input, "report");
  ASSERT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(ReadFile((UserFolder() / "report-2.prn").string()), JobData(0));
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), "2");
  EXPECT_EQ(log.Contents(), "");
}

TEST_F(EndToEndTest, ConcurrentPrintsGetDistinctSerialNumbers) {
  constexpr int kJobs = 8;
  std::vector<std::unique_ptr<RunningProgram>> running;
  for (int i = 0; i < kJobs; ++i) {
    const std::string input = prefix.Path("input" + std::to_string(i) + ".bin");
    WriteFile(input, JobData(i));
    running.push_back(std::make_unique<RunningProgram>(
        "quorvane", std::vector<std::string>{"print", "--printer", "Jobs", "--user", "alice", "--title",
                                             "doc" + std::to_string(i), input},
        prefix.Dir()));
  }
  for (auto& program : running) {
    const ProgramResult result = program->Wait();
    EXPECT_EQ(result.exitCode, 0) << result.err;
  }

  std::set<int> serials;
  const std::regex name(R"(doc(\d)-(\d+)\.prn)");
  for (const auto& entry : fs::directory_iterator(UserFolder())) {
    std::smatch match;
    const std::string file = entry.path().filename().string();
    ASSERT_TRUE(std::regex_match(file, match, name)) << file;
    EXPECT_EQ(ReadFile(entry.path().string()), JobData(std::stoi(match[1]))) << file;
    serials.insert(std::stoi(match[2]));
  }
  EXPECT_EQ(serials, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), "8");
}

}  // namespace

#include "CupsFixture.h"

#include "TempPrefix.h"

#include <qv/utf.h>

#include <windows.h>

#include <fstream>
#include <random>

namespace qv::testing {

void SetScript(const std::string& port, const std::string& script) {
  HKEY key = nullptr;
  std::u16string path = ToUtf16(std::string(kMonitorKey) + "\\" + port);
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::u16string text = ToUtf16(script);
  EXPECT_EQ(RegSetValueExW(key, u"Script", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

Ran Quorvane(const std::vector<std::string>& args) {
  std::vector<std::string> argv{BinDir() + "/quorvane"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv);
}

void CupsFixture::SetUp() {
  if (std::string why = PrivateScheduler::Unavailable(); !why.empty()) GTEST_SKIP() << "Skipped: " << why;
  scheduler_ = std::make_unique<PrivateScheduler>();
  scheduler_->AddBackend("capture", BinDir() + "/qvcapture");
  std::string why;
  ASSERT_TRUE(scheduler_->Start(why)) << why;
  Ran log = Quorvane({"log", scheduler_->Prefix() + "/quorvane.log"});
  ASSERT_EQ(log.exitCode, 0) << log.err;
  Ran install = Quorvane({"install", "--cups"});
  ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
}

void CupsFixture::TearDown() { scheduler_.reset(); }

void CupsFixture::AddQueue(const std::string& name, const std::string& port) {
  ASSERT_EQ(cups::AddRawQueue(name, port, ""), ERROR_SUCCESS) << cups::LastSchedulerMessage();
}

bool CupsFixture::AllJobsDone() {
  return WaitFor([] {
    std::vector<cups::CupsJob> jobs;
    return cups::ListActiveJobs(jobs) == ERROR_SUCCESS && jobs.empty();
  });
}

cups::Queue CupsFixture::QueueState(const std::string& name) {
  cups::Queue queue;
  EXPECT_EQ(cups::GetQueue(name, queue), ERROR_SUCCESS);
  return queue;
}

std::string CupsFixture::Log() const { return ReadFile(scheduler_->Prefix() + "/quorvane.log"); }

std::string CupsFixture::MakeData(const std::string& name, size_t size) {
  std::string data(size, '\0');
  std::mt19937 random(12345);
  for (char& c : data) c = static_cast<char>(random());
  std::string path = scheduler_->Dir() + "/" + name;
  std::ofstream(path, std::ios::binary) << data;
  return path;
}

}  // namespace qv::testing

#include "MonitorFixture.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

MonitorTest::MonitorTest() : tempDir_(prefix_.Path("tmp")) {
  std::filesystem::create_directories(tempDir_);
  if (const char* saved = std::getenv("TMPDIR")) savedTmpDir_ = saved;
  setenv("TMPDIR", tempDir_.c_str(), 1);
  Spooler().Reset();
  Spooler().printers = {u"Printer"};
  Spooler().jobs[7] = FakeJob{};
  library_.emplace();
  LPMONITOREX table = library_->Initialize(kMonitorRoot);
  if (table) monitor_ = table->Monitor;
}

MonitorTest::~MonitorTest() {
  library_.reset();
  if (savedTmpDir_)
    setenv("TMPDIR", savedTmpDir_->c_str(), 1);
  else
    unsetenv("TMPDIR");
}

HANDLE MonitorTest::Open(std::u16string name) {
  HANDLE handle = nullptr;
  EXPECT_TRUE(monitor_.pfnOpenPort(name.data(), &handle));
  return handle;
}

BOOL MonitorTest::Start(HANDLE port, DWORD jobId, std::u16string printer) {
  return monitor_.pfnStartDocPort(port, printer.data(), jobId, 1, nullptr);
}

BOOL MonitorTest::Write(HANDLE port, const std::string& bytes, DWORD* written) {
  DWORD ignored = 0;
  std::string buffer = bytes;
  return monitor_.pfnWritePort(port, reinterpret_cast<LPBYTE>(buffer.data()),
                               static_cast<DWORD>(buffer.size()), written ? written : &ignored);
}

BOOL MonitorTest::End(HANDLE port) { return monitor_.pfnEndDocPort(port); }

std::vector<std::filesystem::path> MonitorTest::TempFiles() const {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(tempDir_))
    if (entry.path().filename().string().starts_with("DRN")) files.push_back(entry.path());
  return files;
}

std::string MonitorTest::Contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The monitor against the embedded print system: a job spooled there is read through
// OpenPrinterW/GetJobW at StartDocPort and reaches the job processor with its properties.
#include "MonitorLibrary.h"

#include <TempPrefix.h>
#include <qv/print_system.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

class PrintSystemTest : public ::testing::Test {
 protected:
  PrintSystemTest() : tempDir_(prefix_.Path("tmp")) {
    std::filesystem::create_directories(tempDir_);
    if (const char* saved = std::getenv("TMPDIR")) savedTmpDir_ = saved;
    setenv("TMPDIR", tempDir_.c_str(), 1);
  }
  ~PrintSystemTest() override {
    if (savedTmpDir_.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", savedTmpDir_.c_str(), 1);
  }

  // Spools `data` from a file, as the print command does with a file argument.
  DWORD Spool(const qv::JobSubmission& job, const std::string& data) {
    const std::string input = prefix_.Path("input");
    std::ofstream(input, std::ios::binary) << data;
    int fd = open(input.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    DWORD jobId = 0;
    EXPECT_EQ(qv::SpoolJob(job, fd, jobId), 0u);
    close(fd);
    return jobId;
  }

  bool NoTempFiles() const { return std::filesystem::is_empty(tempDir_); }

  qv::testing::TempPrefix prefix_;
  std::filesystem::path tempDir_;
  std::string savedTmpDir_;
};

TEST_F(PrintSystemTest, ASpooledJobReachesPrintFileWithItsProperties) {
  ASSERT_EQ(qv::AddPrinter("Office", "FILE:", "Office Driver"), 0u);
  qv::JobSubmission submission;
  submission.printer = "Office";
  submission.document = "Quarterly.pdf";
  submission.user = "bob";
  submission.machine = "DESK7";
  const DWORD jobId = Spool(submission, "hello");
  RecordingServerState& server = RegisterRecordingServer();

  MonitorLibrary library;
  const MONITOR monitor = library.Initialize(u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane")->Monitor;
  HANDLE port = nullptr;
  std::u16string portName = u"QV1:", printer = u"Office", nowhere = u"Nowhere";
  ASSERT_TRUE(monitor.pfnOpenPort(portName.data(), &port));

  EXPECT_FALSE(monitor.pfnStartDocPort(port, printer.data(), jobId + 1000, 1, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(monitor.pfnStartDocPort(port, nowhere.data(), jobId, 1, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  EXPECT_TRUE(NoTempFiles());

  ASSERT_TRUE(monitor.pfnStartDocPort(port, printer.data(), jobId, 1, nullptr));
  BYTE data[] = {'h', 'e', 'l', 'l', 'o'};
  DWORD written = 0;
  ASSERT_TRUE(monitor.pfnWritePort(port, data, sizeof data, &written));
  ASSERT_TRUE(monitor.pfnEndDocPort(port));

  const std::vector<std::string> expected = {
      "DataType=RAW", "DocumentName=Quarterly.pdf", "DriverName=Office Driver", "ID=" + std::to_string(jobId),
      "MachineName=DESK7", "NotifyName=bob", "PrinterName=Office", "Priority=1", "Size=5", "TotalPages=0",
      "UserName=bob", "PrintFile", "~Controller", "~Job"};
  EXPECT_EQ(server.calls, expected);
  ASSERT_EQ(server.printFiles.size(), 1u);
  EXPECT_EQ(server.printFiles[0].fileBytes, "hello");
  EXPECT_TRUE(NoTempFiles());
}

TEST_F(PrintSystemTest, APrintedJobReachesThePortsScriptByteForByte) {
  std::u16string monitorName = u"Quorvane", environment = u"Windows NT x86", library = u"QVPM.DLL";
  MONITOR_INFO_2W info{monitorName.data(), environment.data(), library.data()};
  ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane\\QV1:",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(qv::AddPrinter("Office", "QV1:", "Office Driver"), 0u);
  RecordingServerState& server = RegisterRecordingServer();

  std::string data(1 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 256);
  qv::JobSubmission submission;
  submission.printer = "Office";
  submission.document = "all bytes";
  submission.user = "bob";
  submission.machine = "DESK7";
  const DWORD jobId = Spool(submission, data);
  ASSERT_EQ(qv::DespoolJob(jobId), 0u);

  ASSERT_EQ(server.printFiles.size(), 1u);
  EXPECT_EQ(server.printFiles[0].portName, u"QV1:");
  EXPECT_TRUE(server.printFiles[0].fileBytes == data) << "the file PrintFile saw differs from the job";
  EXPECT_TRUE(NoTempFiles());
}

}  // namespace

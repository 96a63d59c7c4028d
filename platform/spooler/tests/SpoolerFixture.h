// A fresh prefix with helpers to set up printers, the test monitor and spooled jobs.
#pragma once
#include <gtest/gtest.h>
#include <qv/print_system.h>
#include <qv/utf.h>
#include <windows.h>

#include "TempPrefix.h"

#include <string>
#include <vector>

namespace qv::testing {

class SpoolerTest : public ::testing::Test {
 protected:
  TempPrefix prefix;

  static std::string MonitorKey(const std::string& monitor) {
    return "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\" + monitor;
  }

  // Records a monitor with AddMonitorW; `library` is its Windows file name.
  static BOOL AddMonitor(const std::string& name, const std::string& library = "QVTESTMON.DLL") {
    std::u16string wideName = ToUtf16(name), environment = u"Windows NT x86", dll = ToUtf16(library);
    MONITOR_INFO_2W info{wideName.data(), environment.data(), dll.data()};
    return AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  }

  static void SetText(const std::string& keyPath, const std::string& name, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
  }
  static void SetNumber(const std::string& keyPath, const std::string& name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
  }
  static void AddKey(const std::string& keyPath) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
  }

  // The test monitor "Test" with the ports `ports`, recording into Record().
  void InstallTestMonitor(const std::vector<std::string>& ports) {
    ASSERT_TRUE(AddMonitor("Test")) << GetLastError();
    SetText(MonitorKey("Test"), "Record", Record());
    for (const std::string& port : ports) AddKey(MonitorKey("Test") + "\\" + port);
  }
  std::string Record() const { return prefix.Path("monitor.record"); }
  std::string RecordText() const { return ReadFile(Record()); }
  std::string RecordedData() const { return ReadFile(Record() + ".data"); }

  static std::string ReadFile(const std::string& path);
  static std::string AllByteValues(size_t copies);

  // Spools `data` as a job of `printer` and returns its id (0 on failure, with the status).
  DWORD Spool(const std::string& printer, const std::string& data, DWORD* status = nullptr,
              const std::string& document = "Report.txt");
  // The same with SpoolJobUnflushed: the job waits, unaccepted, for FlushSpool or
  // AcceptSpoolToSendNow.
  DWORD SpoolUnaccepted(const std::string& printer, const std::string& data, DWORD* status = nullptr);
  // Spooled and accepted to be sent at once, as `quorvane print` does; 0 when that failed.
  DWORD SpoolToSendNow(const std::string& printer, const std::string& data) {
    const DWORD id = SpoolUnaccepted(printer, data);
    return id != 0 && AcceptSpoolToSendNow() == ERROR_SUCCESS ? id : 0;
  }

  // Printers "Office" and "Jammed" on the port FILE:; Jammed's jobs fail: its output folder
  // can't be made, a file is in its way.
  void AddOfficeAndJammedPrinters();

  // Names in the spool folder other than the job counter's lock and the printed/ folder.
  std::vector<std::string> SpoolLeftovers() const;

 private:
  using SpoolCall = DWORD (*)(const JobSubmission&, int, DWORD&, const SpoolProgress&);
  DWORD SpoolWith(SpoolCall call, const std::string& printer, const std::string& data, DWORD* status,
                  const std::string& document);
};

}  // namespace qv::testing

// A fresh prefix, a private temporary folder (TMPDIR), the fake spooler with printer "Printer"
// and job 7, and the monitor freshly loaded and initialised, as the spooler calls it.
#pragma once
#include "FakeSpooler.h"
#include "MonitorLibrary.h"

#include <TempPrefix.h>
#include <windows.h>
#include <winsplp.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

inline constexpr char16_t kMonitorRoot[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";

class MonitorTest : public ::testing::Test {
 protected:
  MonitorTest();
  ~MonitorTest() override;

  HANDLE Open(std::u16string name);
  BOOL Start(HANDLE port, DWORD jobId = 7, std::u16string printer = u"Printer");
  BOOL Write(HANDLE port, const std::string& bytes, DWORD* written = nullptr);
  BOOL End(HANDLE port);

  // The "DRN*" files in the temporary folder.
  std::vector<std::filesystem::path> TempFiles() const;
  static std::string Contents(const std::filesystem::path& file);

  qv::testing::TempPrefix prefix_;
  std::filesystem::path tempDir_;
  std::optional<MonitorLibrary> library_;
  MONITOR monitor_{};  // the table InitializePrintMonitor returned

 private:
  std::optional<std::string> savedTmpDir_;
};

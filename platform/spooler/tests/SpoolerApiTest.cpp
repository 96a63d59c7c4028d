// The spooler API as the monitor and the installation call it.
#include "LegacyRegistry.h"
#include "SpoolerFixture.h"

#include <cstring>
#include <functional>

namespace qv::testing {
namespace {

using Buffer = std::vector<BYTE>;

HANDLE Open(const std::u16string& printer, ACCESS_MASK access = PRINTER_ALL_ACCESS) {
  std::u16string name = printer, raw = u"RAW";
  PRINTER_DEFAULTSW defaults{raw.data(), nullptr, access};
  HANDLE handle = nullptr;
  EXPECT_TRUE(OpenPrinterW(name.data(), &handle, &defaults)) << GetLastError();
  return handle;
}

// Whether every string of a record lies, terminator included, inside the caller's buffer.
bool Inside(const Buffer& buffer, LPCWSTR text) {
  auto* begin = reinterpret_cast<const BYTE*>(text);
  auto* end = begin + (std::u16string_view(text).size() + 1) * sizeof(WCHAR);
  return begin >= buffer.data() && end <= buffer.data() + buffer.size();
}

std::string Text(LPCWSTR text) { return text ? ToUtf8(text) : "(null)"; }

// Scans of the spool remember what they read; every change to it must still show.
TEST_F(SpoolerTest, QueuePositionsFollowEveryChangeToTheSpool) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Lab", "FILE:", ""), ERROR_SUCCESS);
  HANDLE office = Open(u"Office");
  auto position = [&](DWORD id) -> DWORD {
    DWORD needed = 0;
    GetJobW(office, id, 2, nullptr, 0, &needed);
    Buffer buffer(needed ? needed : 1);
    if (!GetJobW(office, id, 2, buffer.data(), needed, &needed)) return 0;
    return reinterpret_cast<JOB_INFO_2W*>(buffer.data())->Position;
  };
  DWORD a = Spool("Office", "a"), lab = Spool("Lab", "l"), b = Spool("Office", "b");
  struct Step {
    const char* name;
    std::function<void()> change;
    DWORD positionOfB;
  } steps[] = {
      {"two Office jobs, a Lab job between", [] {}, 2},
      {"asked again, nothing changed", [] {}, 2},
      {"the first Office job deleted", [&] { DeleteJob(a); }, 1},
      {"a new Office job after it", [&] { Spool("Office", "c"); }, 1},
      {"the Lab job deleted", [&] { DeleteJob(lab); }, 1},
  };
  for (const Step& step : steps) {
    step.change();
    EXPECT_EQ(position(b), step.positionOfB) << step.name;
  }
  std::vector<JobEntry> jobs;
  ASSERT_EQ(ListJobs(jobs), ERROR_SUCCESS);
  EXPECT_EQ(jobs.size(), 2u);
  EXPECT_EQ(DeletePrinter("Lab"), ERROR_SUCCESS) << "no job of Lab is left";
  EXPECT_EQ(DeletePrinter("Office"), static_cast<DWORD>(ERROR_PRINTER_HAS_JOBS_QUEUED));
  ClosePrinter(office);
}

TEST_F(SpoolerTest, GetJobAnswersInTwoCallsWithStringsInsideTheBuffer) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", "Plain Driver"), ERROR_SUCCESS);
  DWORD id = Spool("Office", "hello", nullptr, "Report.txt");
  ASSERT_NE(id, 0u);
  HANDLE printer = Open(u"office");  // printer names ignore case

  DWORD needed = 0;
  EXPECT_FALSE(GetJobW(printer, id, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(needed, sizeof(JOB_INFO_2W));

  Buffer shortBuffer(needed - 1, 0xAB);
  DWORD again = 0;
  EXPECT_FALSE(GetJobW(printer, id, 2, shortBuffer.data(), needed - 1, &again));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(again, needed);
  EXPECT_EQ(shortBuffer, Buffer(needed - 1, 0xAB)) << "a refused buffer stays untouched";

  Buffer buffer(needed);
  ASSERT_TRUE(GetJobW(printer, id, 2, buffer.data(), needed, &needed)) << GetLastError();
  auto* info = reinterpret_cast<JOB_INFO_2W*>(buffer.data());
  EXPECT_EQ(info->JobId, id);
  EXPECT_EQ(Text(info->pPrinterName), "Office");
  EXPECT_EQ(Text(info->pMachineName), "pc1");
  EXPECT_EQ(Text(info->pUserName), "ann");
  EXPECT_EQ(Text(info->pNotifyName), "ann");
  EXPECT_EQ(Text(info->pDocument), "Report.txt");
  EXPECT_EQ(Text(info->pDatatype), "RAW");
  EXPECT_EQ(Text(info->pDriverName), "Plain Driver");
  EXPECT_EQ(info->Priority, 1u);
  EXPECT_EQ(info->Size, 5u);
  EXPECT_EQ(info->TotalPages, 0u);
  EXPECT_EQ(info->Position, 1u);
  EXPECT_EQ(info->pDevMode, nullptr);
  EXPECT_EQ(info->pStatus, nullptr);
  EXPECT_GE(info->Submitted.wYear, 2024);
  for (LPWSTR text : {info->pPrinterName, info->pMachineName, info->pUserName, info->pDocument,
                      info->pNotifyName, info->pDatatype, info->pPrintProcessor, info->pParameters,
                      info->pDriverName}) {
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(Inside(buffer, text));
    EXPECT_GE(reinterpret_cast<BYTE*>(text), buffer.data() + sizeof(JOB_INFO_2W));
  }
  EXPECT_TRUE(ClosePrinter(printer));
}

TEST_F(SpoolerTest, GetJobRefusals) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Other", "FILE:", ""), ERROR_SUCCESS);
  DWORD id = Spool("Office", "x");
  DWORD otherId = Spool("Other", "y");
  HANDLE printer = Open(u"Office");
  struct Case {
    const char* what;
    HANDLE handle;
    DWORD job;
    DWORD level;
    DWORD error;
  } cases[] = {
      {"unknown job", printer, 9999, 2, ERROR_INVALID_PARAMETER},
      {"job of another printer", printer, otherId, 2, ERROR_INVALID_PARAMETER},
      {"not a printer handle", reinterpret_cast<HANDLE>(3), id, 2, ERROR_INVALID_HANDLE},
      {"level 1", printer, id, 1, ERROR_INVALID_LEVEL},
  };
  for (const Case& c : cases) {
    DWORD needed = 0;
    SetLastError(0);
    EXPECT_FALSE(GetJobW(c.handle, c.job, c.level, nullptr, 0, &needed)) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  ClosePrinter(printer);
}

TEST_F(SpoolerTest, OpenAndClosePrinterRefusals) {
  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  std::u16string unknown = u"Nobody", office = u"Office", emf = u"NT EMF 1.008";
  HANDLE handle = reinterpret_cast<HANDLE>(1);
  EXPECT_FALSE(OpenPrinterW(unknown.data(), &handle, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  EXPECT_EQ(handle, nullptr);
  EXPECT_FALSE(OpenPrinterW(nullptr, &handle, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  PRINTER_DEFAULTSW defaults{emf.data(), nullptr, PRINTER_ACCESS_USE};
  EXPECT_FALSE(OpenPrinterW(office.data(), &handle, &defaults));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATATYPE));

  HANDLE first = Open(u"Office"), second = Open(u"Office");
  EXPECT_NE(first, second);
  EXPECT_TRUE(ClosePrinter(first));
  EXPECT_FALSE(ClosePrinter(first));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HANDLE third = Open(u"Office");
  EXPECT_NE(third, first) << "handles are not reused";
  ClosePrinter(second);
  ClosePrinter(third);

  char narrow[] = "Office";
  EXPECT_TRUE(OpenPrinterA(narrow, &handle, nullptr));
  EXPECT_TRUE(ClosePrinter(handle));
}

TEST_F(SpoolerTest, AddMonitorRecordsOnceAndDeleteKeepsThePorts) {
  ASSERT_TRUE(AddMonitor("Test"));
  EXPECT_FALSE(AddMonitor("Test"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
  EXPECT_FALSE(AddMonitor("Ghost", "NOPE.DLL"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  std::u16string name = u"Test", env = u"Windows NT x86", wrongEnv = u"Windows 95", ghost = u"Ghost";
  EXPECT_FALSE(DeleteMonitorW(nullptr, env.data(), ghost.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINT_MONITOR));
  EXPECT_FALSE(DeleteMonitorW(nullptr, wrongEnv.data(), name.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));

  AddKey(MonitorKey("Test") + "\\QV1");
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  EXPECT_FALSE(DeleteMonitorW(nullptr, env.data(), name.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_IN_USE));
  ASSERT_EQ(DeletePrinter("Archive"), ERROR_SUCCESS);
  EXPECT_TRUE(DeleteMonitorW(nullptr, env.data(), name.data())) << GetLastError();

  HKEY port = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (MonitorKey("Test") + "\\QV1").c_str(), 0, KEY_READ, &port),
            ERROR_SUCCESS) << "an uninstall keeps the monitor's ports";
  RegCloseKey(port);
  EXPECT_TRUE(AddMonitor("Test")) << "and the monitor can be installed again";
}

// A port key whose name is too long for a key (left by an older store) ends nothing early: a
// printer on a port listed after it still keeps the monitor installed.
TEST_F(SpoolerTest, OverlongKeyNameDoesNotHideTheMonitorsLaterPorts) {
  InstallTestMonitor({"Alpha", "Omega"});
  SetNumber(MonitorKey("Test"), "NoPorts", 1);  // the check then rests on the port keys alone
  PlantKeyPastTheChecks(MonitorKey("Test"), "Middle" + std::string(300, 'm'));
  AddKey("SYSTEM\\CurrentControlSet\\Control\\Print\\Printers");
  PlantKeyPastTheChecks("SYSTEM\\CurrentControlSet\\Control\\Print\\Printers", "Long" + std::string(300, 'l'));
  ASSERT_EQ(AddPrinter("Zulu", "Omega", ""), ERROR_SUCCESS);

  std::u16string name = u"Test", env = u"Windows NT x86";
  EXPECT_FALSE(DeleteMonitorW(nullptr, env.data(), name.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_IN_USE));
  ASSERT_EQ(DeletePrinter("Zulu"), ERROR_SUCCESS);
  EXPECT_TRUE(DeleteMonitorW(nullptr, env.data(), name.data())) << GetLastError();
}

struct PortList {
  std::vector<std::string> names, monitors;
};

PortList EnumPorts(DWORD level) {
  DWORD needed = 0, returned = 0;
  EXPECT_FALSE(EnumPortsW(nullptr, level, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  Buffer buffer(needed);
  EXPECT_TRUE(EnumPortsW(nullptr, level, buffer.data(), needed, &needed, &returned));
  EXPECT_EQ(buffer.size(), needed);
  PortList list;
  for (DWORD i = 0; i < returned; ++i) {
    if (level == 1) {
      auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer.data()) + i;
      EXPECT_TRUE(Inside(buffer, info->pName));
      list.names.push_back(Text(info->pName));
    } else {
      auto* info = reinterpret_cast<PORT_INFO_2W*>(buffer.data()) + i;
      EXPECT_TRUE(Inside(buffer, info->pPortName) && Inside(buffer, info->pMonitorName) &&
                  Inside(buffer, info->pDescription));
      list.names.push_back(Text(info->pPortName));
      list.monitors.push_back(Text(info->pMonitorName));
    }
  }
  return list;
}

TEST_F(SpoolerTest, EnumPortsListsFileAndEveryMonitorsPorts) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(EnumPorts(1).names, Names{"FILE:"});
  InstallTestMonitor({"QV1", "QV2"});
  EXPECT_EQ(EnumPorts(1).names, (Names{"FILE:", "QV1", "QV2"}));
  PortList level2 = EnumPorts(2);
  EXPECT_EQ(level2.names, (Names{"FILE:", "QV1", "QV2"}));
  EXPECT_EQ(level2.monitors, (Names{"Local Port", "Test", "Test"}));

  DWORD needed = 0, returned = 0;
  EXPECT_FALSE(EnumPortsW(nullptr, 3, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST_F(SpoolerTest, EnumPrintersWithNoPrintersNeedsNoBuffer) {
  DWORD needed = 1, returned = 1;
  EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);

  ASSERT_EQ(AddPrinter("Office", "FILE:", ""), ERROR_SUCCESS);
  ASSERT_EQ(AddPrinter("Archive", "QV1", ""), ERROR_SUCCESS);
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  Buffer buffer(needed);
  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &returned));
  ASSERT_EQ(returned, 2u);
  std::map<std::string, std::string> ports;
  for (DWORD i = 0; i < returned; ++i) {
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data()) + i;
    EXPECT_TRUE(Inside(buffer, info->pPrinterName) && Inside(buffer, info->pPortName));
    ports[Text(info->pPrinterName)] = Text(info->pPortName);
  }
  EXPECT_EQ(ports, (std::map<std::string, std::string>{{"Archive", "QV1"}, {"Office", "FILE:"}}));
}

TEST_F(SpoolerTest, SetPrinterChangesThePortAndKeepsTheRest) {
  ASSERT_EQ(AddPrinter("Archive", "QV1", "Plain Driver"), ERROR_SUCCESS);
  HANDLE printer = Open(u"Archive");
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  Buffer before(needed);
  ASSERT_TRUE(GetPrinterW(printer, 2, before.data(), needed, &needed));
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(before.data());
  std::u16string file = u"FILE:", empty = u"";
  info->pPortName = file.data();
  ASSERT_TRUE(SetPrinterW(printer, 2, before.data(), 0)) << GetLastError();

  ASSERT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  Buffer after(needed);
  ASSERT_TRUE(GetPrinterW(printer, 2, after.data(), needed, &needed));
  auto* changed = reinterpret_cast<PRINTER_INFO_2W*>(after.data());
  EXPECT_EQ(Text(changed->pPortName), "FILE:");
  EXPECT_EQ(Text(changed->pPrinterName), "Archive");
  EXPECT_EQ(Text(changed->pDriverName), "Plain Driver");
  EXPECT_EQ(Text(changed->pPrintProcessor), "winprint");
  EXPECT_EQ(Text(changed->pDatatype), "RAW");
  EXPECT_EQ(changed->Attributes, info->Attributes);
  EXPECT_EQ(changed->Priority, info->Priority);

  info->pPortName = empty.data();
  EXPECT_FALSE(SetPrinterW(printer, 2, before.data(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
  HANDLE user = Open(u"Archive", PRINTER_ACCESS_USE);
  info->pPortName = file.data();
  EXPECT_FALSE(SetPrinterW(user, 2, before.data(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ClosePrinter(user);
  ClosePrinter(printer);
}

TEST_F(SpoolerTest, PortRequestsGoToTheMonitorThatOwnsThePort) {
  InstallTestMonitor({"QV1"});
  std::u16string qv1 = u"QV1", file = u"FILE:", lpt = u"LPT9:", test = u"Test";
  EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, qv1.data()));
  EXPECT_TRUE(DeletePortW(nullptr, nullptr, qv1.data()));
  EXPECT_TRUE(AddPortW(nullptr, nullptr, test.data()));
  EXPECT_NE(RecordText().find("ConfigurePort QV1\nDeletePort QV1\nAddPort Test\n"), std::string::npos)
      << RecordText();
  EXPECT_FALSE(DeletePortW(nullptr, nullptr, file.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_FALSE(DeletePortW(nullptr, nullptr, lpt.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
}

// A print system that answers one call and throws from another, standing in for a host's.
class RecordingPrintSystem : public PrintSystem {
 public:
  std::vector<std::string> calls;
  BOOL OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW) override {
    calls.push_back("OpenPrinterW " + ToUtf8(name));
    *printer = reinterpret_cast<HANDLE>(42);
    return TRUE;
  }
  BOOL ClosePrinter(HANDLE) override { throw std::runtime_error("broken"); }
};

TEST_F(SpoolerTest, TheChosenPrintSystemAnswersAndNothingThrownLeavesTheApi) {
  RecordingPrintSystem recording;
  SetPrintSystem(&recording);
  std::u16string name = u"Anything";
  HANDLE handle = nullptr;
  EXPECT_TRUE(OpenPrinterW(name.data(), &handle, nullptr));
  EXPECT_EQ(handle, reinterpret_cast<HANDLE>(42));
  EXPECT_FALSE(ClosePrinter(handle));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  DWORD needed = 0;
  EXPECT_FALSE(GetJobW(handle, 1, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  SetPrintSystem(nullptr);
  EXPECT_EQ(recording.calls, std::vector<std::string>{"OpenPrinterW Anything"});
  EXPECT_FALSE(OpenPrinterW(name.data(), &handle, nullptr)) << "the embedded one answers again";
}

}  // namespace
}  // namespace qv::testing

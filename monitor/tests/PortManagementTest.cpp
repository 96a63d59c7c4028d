// EnumPorts from the monitor key, and AddPort, ConfigurePort and DeletePort forwarded to the
// job processor's Controller.
#include "LegacyRegistry.h"
#include "LogEntries.h"
#include "MonitorFixture.h"
#include "TestLog.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <qv/utf.h>

namespace {

constexpr size_t kSharedStrings = sizeof(u"Quorvane") + sizeof(u"Redirection of print jobs");  // 18 + 52

std::u16string WideAt(const BYTE* at) { return reinterpret_cast<const char16_t*>(at); }

class PortManagementTest : public MonitorTest {
 protected:
  PortManagementTest() : log_(prefix_.Path("monitor.log")) { SetLogFile(log_); }

  void CreateMonitorKey() { CreateKey(kMonitorRoot); }
  void AddPortKey(const std::u16string& name) { CreateKey(std::u16string(kMonitorRoot) + u"\\" + name); }

  static void CreateKey(const std::u16string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  BOOL Enum(DWORD level, BYTE* buffer, DWORD size, DWORD& needed, DWORD& returned) {
    needed = returned = 0xEEEE;
    return monitor_.pfnEnumPorts(nullptr, level, buffer, size, &needed, &returned);
  }

  std::string log_;
};

// Ports "A" and "BC" at every level; any level but 1 is answered as 2.
TEST_F(PortManagementTest, EnumPortsPacksEntriesInFrontAndStringsFromTheEnd) {
  CreateMonitorKey();
  AddPortKey(u"A");
  AddPortKey(u"BC");
  // A value directly under the monitor key is not a port.
  HKEY root = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorRoot, 0, KEY_ALL_ACCESS, &root), ERROR_SUCCESS);
  const char16_t serial[] = u"17";
  RegSetValueExW(root, u"SerialNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>(serial), sizeof serial);
  RegCloseKey(root);

  for (DWORD level : {1u, 2u, 3u, 0u}) {
    SCOPED_TRACE("level " + std::to_string(level));
    const size_t entrySize = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    const DWORD expected = static_cast<DWORD>(2 * entrySize + sizeof(u"A") + sizeof(u"BC") + kSharedStrings);
    DWORD needed, returned;
    EXPECT_FALSE(Enum(level, nullptr, 0, needed, returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, expected);
    EXPECT_EQ(returned, 0u);

    std::vector<BYTE> buffer(expected, 0xAB);
    ASSERT_TRUE(Enum(level, buffer.data(), expected, needed, returned));
    ASSERT_EQ(returned, 2u);
    BYTE* end = buffer.data() + expected;
    EXPECT_EQ(end[-1], 0);
    EXPECT_EQ(end[-2], 0);
    const BYTE* monitor = end - sizeof(u"Quorvane");
    const BYTE* description = end - kSharedStrings;
    EXPECT_EQ(WideAt(monitor), u"Quorvane");
    EXPECT_EQ(WideAt(description), u"Redirection of print jobs");

    std::vector<std::u16string> names;
    const BYTE* below = description;  // the first name enumerated lies just below the description
    for (DWORD i = 0; i < returned; ++i) {
      LPWSTR name = nullptr;
      if (level == 1) {
        PORT_INFO_1W info;
        std::memcpy(&info, buffer.data() + i * entrySize, sizeof info);
        name = info.pName;
      } else {
        PORT_INFO_2W info;
        std::memcpy(&info, buffer.data() + i * entrySize, sizeof info);
        name = info.pPortName;
        EXPECT_EQ(reinterpret_cast<const BYTE*>(info.pMonitorName), monitor);
        EXPECT_EQ(reinterpret_cast<const BYTE*>(info.pDescription), description);
        EXPECT_EQ(info.fPortType, static_cast<DWORD>(PORT_TYPE_WRITE));
        EXPECT_EQ(info.Reserved, 0u);
      }
      names.push_back(name);
      below -= (names.back().size() + 1) * sizeof(char16_t);
      EXPECT_EQ(reinterpret_cast<const BYTE*>(name), below);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"BC"}));
    EXPECT_EQ(below, buffer.data() + 2 * entrySize) << "the buffer is filled exactly";
  }
  EXPECT_EQ(ReadFileText(log_), "");
}

TEST_F(PortManagementTest, EnumPortsWithoutPortsNeedsTheSharedStringsAlone) {
  CreateMonitorKey();
  BYTE buffer[256];
  DWORD needed, returned;
  EXPECT_TRUE(Enum(2, buffer, sizeof buffer, needed, returned));
  EXPECT_EQ(needed, kSharedStrings);
  EXPECT_EQ(returned, 0u);
}

TEST_F(PortManagementTest, EnumPortsIntoABufferOneByteShortLeavesItUntouched) {
  CreateMonitorKey();
  AddPortKey(u"QV1:");
  DWORD needed, returned;
  ASSERT_FALSE(Enum(2, nullptr, 0, needed, returned));
  std::vector<BYTE> buffer(needed, 0xAB);
  EXPECT_FALSE(Enum(2, buffer.data(), needed - 1, needed, returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xAB), static_cast<long>(buffer.size()));
}

TEST_F(PortManagementTest, EnumPortsWithoutTheMonitorKeyLogsAndReportsNoPorts) {
  BYTE buffer[64];
  DWORD needed, returned;
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(Enum(1, buffer, sizeof buffer, needed, returned));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "nothing is shown";
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
  const std::vector<LogEntry> entries = LogEntries(ReadFileText(log_));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].code, "2          ");
  EXPECT_EQ(entries[0].source, "LocalEnumPorts       ");
  EXPECT_EQ(entries[0].text, "The file could not be found.");
}

// A key whose name can't be a port's (left by an older registry, which took names of any
// length) is passed over: the ports after it are still reported.
TEST_F(PortManagementTest, EnumPortsPassesOverANameTooLongForAPort) {
  CreateMonitorKey();
  AddPortKey(u"Alpha");
  AddPortKey(u"Omega");
  qv::testing::PlantKeyPastTheChecks(qv::ToUtf8(kMonitorRoot), "Middle" + std::string(300, 'm'));
  for (DWORD level : {1u, 2u}) {
    SCOPED_TRACE("level " + std::to_string(level));
    DWORD needed, returned;
    ASSERT_FALSE(Enum(level, nullptr, 0, needed, returned));
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(Enum(level, buffer.data(), needed, needed, returned));
    std::vector<std::u16string> names;
    for (DWORD i = 0; i < returned; ++i) {
      if (level == 1) {
        PORT_INFO_1W info;
        std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
        names.push_back(info.pName);
      } else {
        PORT_INFO_2W info;
        std::memcpy(&info, buffer.data() + i * sizeof info, sizeof info);
        names.push_back(info.pPortName);
      }
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"Omega"}));
  }
  EXPECT_EQ(ReadFileText(log_), "");
}

// Without a root the monitor has no key of its own: HKEY_LOCAL_MACHINE's subkeys are no ports.
TEST_F(PortManagementTest, EnumPortsWithAnEmptyRootLogsAndReportsNoPorts) {
  CreateMonitorKey();
  AddPortKey(u"QV1:");
  auto initialize = reinterpret_cast<LPMONITOREX(WINAPI*)(LPWSTR)>(library_->Symbol("InitializePrintMonitor"));
  ASSERT_NE(initialize, nullptr);
  std::u16string empty;
  struct Case {
    const char* name;
    LPWSTR root;
  } cases[] = {{"null root", nullptr}, {"empty root", empty.data()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(log_);
    ASSERT_NE(initialize(c.root), nullptr);
    BYTE buffer[256];
    DWORD needed, returned;
    EXPECT_TRUE(Enum(2, buffer, sizeof buffer, needed, returned));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
    const std::vector<LogEntry> entries = LogEntries(ReadFileText(log_));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].code, Padded("161", 11));
    EXPECT_EQ(entries[0].source, Padded("LocalEnumPorts", 21));
  }
  // Given its root again, the monitor finds its port.
  std::u16string root = kMonitorRoot;
  ASSERT_NE(initialize(root.data()), nullptr);
  BYTE buffer[256];
  DWORD needed, returned;
  EXPECT_TRUE(Enum(1, buffer, sizeof buffer, needed, returned));
  EXPECT_EQ(returned, 1u);
}

struct PortCall {
  const char* source;
  std::function<BOOL(const MONITOR&, HWND)> call;
  const char* recorded;
};

std::u16string portName = u"QV1:";

const PortCall kPortCalls[] = {
    {"LocalAddPort", [](const MONITOR& m, HWND w) { return m.pfnAddPort(nullptr, w, nullptr); }, "AddPort 4660"},
    {"LocalConfigurePort", [](const MONITOR& m, HWND w) { return m.pfnConfigurePort(nullptr, w, portName.data()); },
     "ConfigurePort QV1: 4660"},
    {"LocalDeletePort", [](const MONITOR& m, HWND w) { return m.pfnDeletePort(nullptr, w, portName.data()); },
     "DeletePort QV1:"},
};

HWND Window() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)); }

TEST_F(PortManagementTest, PortCallsReachTheirControllerSlotAndReleaseIt) {
  RecordingServerState& server = RegisterRecordingServer();
  for (const PortCall& port : kPortCalls) {
    SCOPED_TRACE(port.source);
    server.Reset();
    EXPECT_TRUE(port.call(monitor_, Window())) << "TRUE whatever the dialog answered";
    EXPECT_EQ(server.calls, (std::vector<std::string>{port.recorded, "~Controller"}));
    EXPECT_EQ(server.liveObjects, 0);
    EXPECT_EQ(server.overReleases, 0);
  }
  EXPECT_EQ(ReadFileText(log_), "");
}

TEST_F(PortManagementTest, AFailingControllerCallIsReportedUnderTheEntryPointsName) {
  RecordingServerState& server = RegisterRecordingServer();
  for (const PortCall& port : kPortCalls) {
    SCOPED_TRACE(port.source);
    server.Reset();
    server.portCallResult = E_FAIL;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(port.call(monitor_, Window()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_FAIL));
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("Error: -2147467259\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find(std::string("Source: ") + port.source + "\n"), std::string::npos) << shown;
    EXPECT_EQ(server.liveObjects, 0);
  }
  const std::vector<LogEntry> entries = LogEntries(ReadFileText(log_));
  ASSERT_EQ(entries.size(), std::size(kPortCalls));
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].code, "-2147467259");
    EXPECT_EQ(entries[i].source, Padded(kPortCalls[i].source, 21));
  }
}

TEST_F(PortManagementTest, WithoutAJobProcessorPortCallsFailWithAMessageAndALogEntry) {
  for (const PortCall& port : kPortCalls) {
    SCOPED_TRACE(port.source);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(port.call(monitor_, Window()));
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(shown.rfind("Error: Error: -", 0), 0u) << "the caption, then the code: " << shown;
    EXPECT_NE(shown.find(std::string("Source: ") + port.source + "\n"), std::string::npos) << shown;
  }
  const std::vector<LogEntry> entries = LogEntries(ReadFileText(log_));
  ASSERT_EQ(entries.size(), std::size(kPortCalls));
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].source, Padded(kPortCalls[i].source, 21));
    EXPECT_EQ(entries[i].code[0], '-') << "an HRESULT";
  }
}

}  // namespace

// The monitor's table and its port entry points, as the spooler sees them.
#include "MonitorFixture.h"

#include <cstring>

namespace {

HANDLE Handle(ULONG_PTR value) { return reinterpret_cast<HANDLE>(value); }
ULONG_PTR Value(HANDLE handle) { return reinterpret_cast<ULONG_PTR>(handle); }

TEST_F(MonitorTest, TheTableHasTheFourteenSlotsOfThisBuild) {
  LPMONITOREX table = library_->Initialize(kMonitorRoot);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->dwMonitorSize, sizeof(MONITOR));
  EXPECT_EQ(sizeof(MONITOR), 14 * sizeof(void*));
  const MONITOR& m = table->Monitor;
  EXPECT_EQ(m.pfnOpenPortEx, nullptr);
  EXPECT_EQ(m.pfnAddPortEx, nullptr);
  EXPECT_EQ(m.pfnGetPrinterDataFromPort, nullptr);
  EXPECT_EQ(m.pfnSetPortTimeOuts, nullptr);
  for (bool filled : {m.pfnEnumPorts != nullptr, m.pfnOpenPort != nullptr, m.pfnStartDocPort != nullptr,
                      m.pfnWritePort != nullptr, m.pfnReadPort != nullptr, m.pfnEndDocPort != nullptr,
                      m.pfnClosePort != nullptr, m.pfnAddPort != nullptr, m.pfnConfigurePort != nullptr,
                      m.pfnDeletePort != nullptr})
    EXPECT_TRUE(filled);
}

TEST_F(MonitorTest, InitialisingAgainGivesTheSameTable) {
  LPMONITOREX first = library_->Initialize(kMonitorRoot);
  LPMONITOREX second = library_->Initialize(u"SYSTEM\\Elsewhere");
  EXPECT_EQ(first, second);
  EXPECT_EQ(second->Monitor.pfnOpenPort, monitor_.pfnOpenPort);
}

TEST_F(MonitorTest, ExportsOnlyTheSpoolersNames) {
  EXPECT_NE(library_->Symbol("InitializePrintMonitor"), nullptr);
  EXPECT_NE(library_->Symbol("_Z13LocalOpenPortPtPPv"), nullptr);
  EXPECT_EQ(library_->Symbol("LocalOpenPort"), nullptr);
  EXPECT_EQ(library_->Symbol("_Z13LocalOpenPortPDsPPv"), nullptr);
}

TEST_F(MonitorTest, HandlesCountFromOneAndAreNeverReused) {
  EXPECT_EQ(Value(Open(u"QV1:")), 1u);
  EXPECT_EQ(Value(Open(u"QV1:")), 2u) << "the same name opens again, with a handle of its own";
  EXPECT_EQ(Value(Open(u"not a configured port")), 3u);
  EXPECT_TRUE(monitor_.pfnClosePort(Handle(2)));
  EXPECT_EQ(Value(Open(u"QV1:")), 4u);

  auto decorated = reinterpret_cast<int (*)(unsigned short*, void**)>(library_->Symbol("_Z13LocalOpenPortPtPPv"));
  ASSERT_NE(decorated, nullptr);
  unsigned short name[] = {'Q', 'V', '2', ':', 0};
  void* handle = nullptr;
  EXPECT_TRUE(decorated(name, &handle));
  EXPECT_EQ(Value(handle), 5u);

  std::u16string wide = u"QV2:";
  EXPECT_FALSE(monitor_.pfnOpenPort(wide.data(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Value(Open(u"")), 6u) << "a refused open uses up no handle";
}

TEST_F(MonitorTest, ClosingAnyHandleAnyNumberOfTimesSucceeds) {
  HANDLE port = Open(u"QV1:");
  for (HANDLE handle : {port, port, Handle(0), Handle(99), Handle(0x100000001), INVALID_HANDLE_VALUE})
    EXPECT_TRUE(monitor_.pfnClosePort(handle));
}

TEST_F(MonitorTest, ReadingGivesNothingAndLeavesTheBufferAlone) {
  HANDLE port = Open(u"QV1:");
  for (HANDLE handle : {port, Handle(0), Handle(12345), INVALID_HANDLE_VALUE}) {
    BYTE buffer[8];
    std::memset(buffer, 0xAB, sizeof buffer);
    DWORD read = 77;
    EXPECT_TRUE(monitor_.pfnReadPort(handle, buffer, sizeof buffer, &read));
    EXPECT_EQ(read, 0u);
    for (BYTE b : buffer) EXPECT_EQ(b, 0xAB);
  }
}

TEST_F(MonitorTest, UnloadingDeletesTheFilesOfJobsNeverEnded) {
  HANDLE port = Open(u"QV1:");
  ASSERT_TRUE(Start(port));
  ASSERT_TRUE(Write(port, "abc"));
  EXPECT_TRUE(monitor_.pfnClosePort(port));
  EXPECT_EQ(TempFiles().size(), 1u) << "closing the port does not end its job";

  library_.reset();
  ASSERT_FALSE(MonitorLibrary::IsLoaded());
  EXPECT_TRUE(TempFiles().empty());

  library_.emplace();
  monitor_ = library_->Initialize(kMonitorRoot)->Monitor;
  EXPECT_EQ(Value(Open(u"QV1:")), 1u) << "a new load counts from 1 again";
}

}  // namespace

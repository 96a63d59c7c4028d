// The port-handle counter where no spooler can take it in a test's time: past 2^32-1 opens.
// The monitor's code is built into this program, so the test can set the counter.
#include "Monitor.h"

#include <TempPrefix.h>

#include <gtest/gtest.h>

#include <string>

using namespace Quorvane;

namespace {

HANDLE OpenPort(const std::u16string& name) {
  std::u16string copy = name;
  HANDLE handle = nullptr;
  EXPECT_TRUE(LocalOpenPort(copy.data(), &handle));
  return handle;
}

DWORD Value(HANDLE handle) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(handle)); }

TEST(PortHandleTest, AfterTheCounterWrapsNoHandleIsZeroOrStillInUse) {
  qv::testing::TempPrefix prefix;
  ASSERT_EQ(Value(OpenPort(u"Open")), 1u);
  const HANDLE withJob = OpenPort(u"Closed with its job running");
  ASSERT_EQ(Value(withJob), 2u);
  JobTable.try_emplace(2);  // StartDocPort without EndDocPort: the record stays
  LocalClosePort(withJob);
  LocalClosePort(OpenPort(u"Closed"));  // 3, free again

  struct Row {
    const char* name;
    DWORD last;      // the counter before the open
    DWORD expected;  // the handle handed out
  } rows[] = {
      {"the last value", 0xFFFFFFFEu, 0xFFFFFFFFu},
      {"wrapped past 0 and the handles in use", 0xFFFFFFFFu, 3},
      {"then on from there", 3, 4},
      {"a wrap onto every value in use", 0xFFFFFFFFu, 5},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LastPortHandle = row.last;
    const std::u16string name(row.name, row.name + std::char_traits<char>::length(row.name));
    const HANDLE handle = OpenPort(name);
    EXPECT_EQ(Value(handle), row.expected);
    EXPECT_EQ(LastPortHandle, row.expected);
    ASSERT_EQ(PortTable.count(row.expected), 1u);
    EXPECT_EQ(PortTable.at(row.expected), name) << "the new port's name is kept";
  }
  EXPECT_EQ(PortTable.at(1), u"Open") << "the earlier port keeps its name";
  EXPECT_EQ(PortTable.count(0), 0u);
  JobTable.clear();
  PortTable.clear();
}

}  // namespace

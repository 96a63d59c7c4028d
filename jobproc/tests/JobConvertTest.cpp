// Field codes in templates, and the serial-number counter behind "?SN?".
#include <gtest/gtest.h>

#include <optional>

#include "TempPrefix.h"
#include "TestJob.h"
#include "TestRegistry.h"

using namespace jobproc_testing;

namespace {

struct Row {
  const char* name;
  const char* source;
  std::optional<std::string> storedCounter;  // "SerialNumber" before; nullopt: absent
  const char* expected;
  std::optional<std::string> counterAfter;   // nullopt: absent afterwards
  LONG id = 0;
  const char* document = "";
  DATE date = DateOf(2024, 3, 5, 9, 7, 3);   // a Tuesday
};

const Row kRows[] = {
    {"DateAndTimeInPlainDecimal", "C:\\Out\\?YE??MO??DA?-?HO??MI??SE?.prn", {}, "C:\\Out\\202435-973.prn", {}},
    {"MidnightHourIsZero", "?HO?:?MI?", {}, "0:0", {}, 0, "", DateOf(2024, 12, 31)},
    {"Sunday", "?WD?", {}, "1", {}, 0, "", DateOf(2024, 3, 3, 12)},
    {"Saturday", "?WD?", {}, "7", {}, 0, "", DateOf(2024, 3, 2, 23, 59, 59)},
    {"TwoSerialsInOneTemplate", "?SN?_?SN?", "11", "12_13", "13"},
    {"SerialAbsent", "?SN?", {}, "1", "1"},
    {"SerialEmpty", "?SN?", "", "1", "1"},
    {"SerialNotANumber", "?SN?", "abc", "1", "1"},
    {"SerialNegative", "?SN?", "-4", "1", "1"},
    {"SerialTooLargeForCounter", "?SN?", "99999999999", "1", "1"},
    {"SerialOverflow", "?SN?", "2147483647", "0", "2147483647"},
    {"NotCodesLeftAlone", "?id??XY??SN", {}, "?id??XY??SN", {}},
    {"QuestionMarksBeforeACode", "???ID?", {}, "??7", {}, 7},
    {"NegativeNumber", "?ID?", {}, "-5", {}, -5},
    {"TextInsertedAsStored", "x?DN?y", {}, "xa\\b:cy", {}, 0, "a\\b:c"},
    {"InsertedTextNotScannedAgain", "?DN?", {}, "?SN?", {}, 0, "?SN?"},
    {"NewRecord", "?ID??DN?", {}, "0", {}},
    {"EmptyTemplate", "", {}, "", {}},
    {"NoCodes", "C:\\plain\\file.prn", {}, "C:\\plain\\file.prn", {}},
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class ConvertTest : public ::testing::TestWithParam<Row> {
 protected:
  qv::testing::TempPrefix prefix;
};

TEST_P(ConvertTest, Expands) {
  const Row& row = GetParam();
  LogFile log(prefix.Path("convert.log"));
  CreateKey(kMonitorKey);
  if (row.storedCounter) SetText(kMonitorKey, "SerialNumber", *row.storedCounter);

  TestJob job;
  job.Id(row.id).Document(row.document);
  EXPECT_EQ(job.Convert(row.source, row.date), row.expected);
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), row.counterAfter.value_or("<absent>"));

  const std::vector<std::string> entries = log.Entries();
  if (std::string(row.name) == "SerialOverflow") {
    const std::vector<std::string> expected = {Entry(6, "Job::GetSerialNumber", "Overflow")};
    EXPECT_EQ(entries, expected);
  } else {
    EXPECT_TRUE(entries.empty()) << entries.front();
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ConvertTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerialNumberTest, CounterContinuesFromJobToJob) {
  qv::testing::TempPrefix prefix;
  CreateKey(kMonitorKey);
  SetText(kMonitorKey, "SerialNumber", "11");
  const DATE now = DateOf(2024, 3, 5);
  EXPECT_EQ(TestJob().Convert("?SN?_?SN?", now), "12_13");
  EXPECT_EQ(TestJob().Convert("?SN?", now), "14");
  LONG next = 0;
  TestJob job;
  ASSERT_EQ(job.Get()->GetSerialNumber(&next), S_OK);
  EXPECT_EQ(next, 15);
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), "15");
}

TEST(SerialNumberTest, NumericValueIsReplacedByText) {
  qv::testing::TempPrefix prefix;
  SetDword(kMonitorKey, "SerialNumber", 41);
  EXPECT_EQ(TestJob().Convert("?SN?", DateOf(2024, 3, 5)), "1");
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), "1");
}

// Without the monitor key every number is 1 and nothing is stored: the failed open, the read
// and the write without a key are each logged.
TEST(SerialNumberTest, MissingMonitorKeyGivesOneEveryTime) {
  qv::testing::TempPrefix prefix;
  LogFile log(prefix.Path("serial.log"));
  EXPECT_EQ(TestJob().Convert("?SN?-?SN?", DateOf(2024, 3, 5)), "1-1");
  EXPECT_FALSE(KeyExists(kMonitorKey));
  const std::vector<std::string> entries = log.Entries();
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0], Entry(2, "RegKey::OpenKey", SystemText(2) + " [" + kMonitorKey + "]"));
  EXPECT_EQ(entries[1], Entry(513, "RegKey::ReadString",
                              "Can't read key without having an opened a key first [SerialNumber]"));
  EXPECT_EQ(entries[2], Entry(513, "RegKey::WriteString",
                              "Can't write value without having an opened a key first"));
}

TEST(ConvertFailureTest, UnusableDateLogsAndGivesEmptyText) {
  qv::testing::TempPrefix prefix;
  LogFile log(prefix.Path("convert.log"));
  EXPECT_EQ(TestJob().Convert("C:\\?YE?.prn", 1e300), "");
  const std::vector<std::string> expected = {Entry(5, "Job::Convert", "Invalid procedure call or argument")};
  EXPECT_EQ(log.Entries(), expected);
}

}  // namespace

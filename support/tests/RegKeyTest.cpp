// The registry key wrapper: what each operation returns and what it leaves in the log.
#include <gtest/gtest.h>

#include "ObjectError.h"
#include "RegKey.h"
#include "TempPrefix.h"
#include "TestRegistry.h"

using namespace MarrowjetUI;
using namespace jobproc_testing;

namespace {

const std::string kTestKey = "SOFTWARE\\QuorvaneTests\\RegKey";
const Text kTestKeyText = FromCodePage(kTestKey);

class RegKeyTest : public ::testing::Test {
 protected:
  RegKeyTest() : log(prefix.Path("regkey.log")) { CreateKey(kTestKey); }

  qv::testing::TempPrefix prefix;
  LogFile log;
};

TEST_F(RegKeyTest, OperationsWithoutAKeyLog513AndReturnNeutralResults) {
  RegKey key;
  EXPECT_EQ(key.ReadString(WSTR("v")), Text());
  EXPECT_EQ(key.WriteString(WSTR("v"), WSTR("x")), 0);
  EXPECT_EQ(key.CreateKey(WSTR("sub")), nullptr);
  EXPECT_EQ(key.DeleteValue(WSTR("v")), 0);
  EXPECT_EQ(key.DeleteKey(WSTR("sub")), 0);
  const std::vector<std::string> expected = {
      Entry(513, "RegKey::ReadString", "Can't read key without having an opened a key first [v]"),
      Entry(513, "RegKey::WriteString", "Can't write value without having an opened a key first"),
      Entry(513, "RegKey::CreateKey", "Can't create key without having an opened a key first"),
      Entry(513, "RegKEy::DeleteValue", "Can't delete value without having an opened a key first"),
      Entry(513, "RegKey::DeleteKey", "Can't delete key without having an opened a key first"),
  };
  EXPECT_EQ(log.Entries(), expected);
}

TEST_F(RegKeyTest, MissingKeyLogsStatusWithSystemTextAndPath) {
  RegKey key;
  EXPECT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\NoSuchKey")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.hKey(), nullptr);
  const std::vector<std::string> expected = {
      Entry(2, "RegKey::OpenKey", SystemText(2) + " [SOFTWARE\\NoSuchKey]")};
  EXPECT_EQ(log.Entries(), expected);
}

TEST_F(RegKeyTest, FailedSecondOpenStillClosesTheFirstKey) {
  RegKey key;
  ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, kTestKeyText), 0);
  ASSERT_NE(key.hKey(), nullptr);
  key.OpenKey(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\NoSuchKey"));
  EXPECT_EQ(key.hKey(), nullptr);
  EXPECT_EQ(key.ReadString(WSTR("v")), Text());  // no key held any more
  EXPECT_EQ(log.Entries().back(), Entry(513, "RegKey::ReadString",
                                        "Can't read key without having an opened a key first [v]"));
}

TEST_F(RegKeyTest, ReadsOfAbsentAndNonTextValues) {
  SetDword(kTestKey, "Number", 42);
  RegKey key;
  ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, kTestKeyText), 0);
  EXPECT_EQ(key.ReadString(WSTR("Absent")), Text());
  EXPECT_TRUE(log.Entries().empty()) << "an absent value is no failure";
  EXPECT_EQ(key.ReadString(WSTR("Number")), Text());
  const std::vector<std::string> expected = {Entry(514, "RegKey::ReadString", "Value not a string [Number]")};
  EXPECT_EQ(log.Entries(), expected);
}

TEST_F(RegKeyTest, TextRoundTripsThroughTheCodePage) {
  RegKey key;
  ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, kTestKeyText), 0);
  const Text values[] = {WSTR(""), WSTR("x"), WSTR("C:\\Jobs\\?UN?\\?DN?.prn"), WSTR("Gr\u00FC\u00DFe \u2713 \U0001F5A8")};
  for (const Text& value : values) {
    EXPECT_EQ(key.WriteString(WSTR("Value"), value), 0);
    EXPECT_EQ(key.ReadString(WSTR("Value")), value);
  }
  EXPECT_EQ(ReadText(kTestKey, "Value"), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93 \xF0\x9F\x96\xA8");
  EXPECT_TRUE(log.Entries().empty());
}

TEST_F(RegKeyTest, StoredTextWithoutTerminatorLosesItsLastCharacter) {
  RegKey key;
  ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, kTestKeyText), 0);
  ASSERT_EQ(RegSetValueExA(key.hKey(), "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), 0);
  EXPECT_EQ(key.ReadString(WSTR("Bare")), WSTR("ab"));
}

TEST_F(RegKeyTest, CreateKeyOpensOrCreatesAndDeleteRemoves) {
  RegKey key;
  ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, kTestKeyText), 0);
  std::unique_ptr<RegKey> created = key.CreateKey(WSTR("Port"));
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->WriteString(WSTR("Script"), WSTR("WriteFile: C:\\a.prn")), 0);
  created.reset();  // releasing the object closes its key

  std::unique_ptr<RegKey> again = key.CreateKey(WSTR("port"));  // names ignore case
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->ReadString(WSTR("Script")), WSTR("WriteFile: C:\\a.prn"));
  EXPECT_EQ(again->DeleteValue(WSTR("Script")), 0);
  EXPECT_EQ(again->DeleteValue(WSTR("Script")), ERROR_FILE_NOT_FOUND);
  again.reset();

  EXPECT_EQ(key.DeleteKey(WSTR("Port")), 0);
  EXPECT_FALSE(KeyExists(kTestKey + "\\Port"));
  EXPECT_EQ(key.DeleteKey(WSTR("Port")), ERROR_FILE_NOT_FOUND);  // returned, not logged
  EXPECT_TRUE(log.Entries().empty());
}

}  // namespace

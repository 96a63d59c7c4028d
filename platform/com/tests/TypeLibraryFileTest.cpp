#include "MarrowjetTypeLibrary.h"

#include <TempPrefix.h>
#include <oleauto.h>
#include <qv/typelib.h>
#include <qv/utf.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using qv::testing::HeldTypeLib;
using qv::testing::MarrowjetRecord;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(TypeLibraryFile, WrittenRecordsLoadAsTheyWere) {
  qv::testing::TempPrefix prefix;
  TYPELIBRECORD records[] = {MarrowjetRecord(), MarrowjetRecord(), MarrowjetRecord(),
                             MarrowjetRecord()};
  records[1].syskind = SYS_WIN64;
  records[1].wMajorVerNum = 0xFFFF;
  records[1].wMinorVerNum = 0xA;
  records[1].lcid = 0xFFFFFFFF;
  records[1].wLibFlags = 0xFFFF;
  records[2].syskind = SYS_MAC;
  records[2].name = nullptr;
  records[2].helpString = nullptr;
  records[3].syskind = SYS_WIN16;
  records[3].name = WSTR("Überdruck \u2713 \U0001F5A8");
  records[3].helpString = WSTR("");
  for (const TYPELIBRECORD& record : records) {
    const std::string path = prefix.Path("lib.tlb");
    ASSERT_TRUE(qv::WriteTypeLibraryFile(path, record));
    HeldTypeLib library;
    ASSERT_EQ(LoadTypeLib(qv::ToUtf16(path).c_str(), library.Receive()), S_OK);
    qv::testing::ExpectLibraryOf(library.Get(), record);
  }
  EXPECT_FALSE(std::filesystem::exists(prefix.Path("lib.tlb.new")));
}

TEST(TypeLibraryFile, WrittenText) {
  qv::testing::TempPrefix prefix;
  ASSERT_TRUE(qv::WriteTypeLibraryFile(prefix.Path("lib.tlb"), MarrowjetRecord()));
  EXPECT_EQ(ReadFile(prefix.Path("lib.tlb")),
            "QUORVANE TYPELIB 1\n"
            "guid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}\n"
            "version=1.0\n"
            "lcid=409\n"
            "syskind=win32\n"
            "flags=0\n"
            "name=MARROWJETLib\n"
            "helpstring=Marrowjet 1.0 Type Library\n");
}

TEST(TypeLibraryFile, HandWrittenVariantsAreRead) {
  qv::testing::TempPrefix prefix;
  const std::string path = prefix.Path("hand.tlb");
  std::ofstream(path, std::ios::binary)
      << "QUORVANE TYPELIB 1\r\n"
         "# written by hand\r\n"
         "\r\n"
         "helpstring=Marrowjet 1.0 Type Library\r\n"
         "guid={1d47c6cd-6b66-4c3b-81fa-cbe43b4a3daa}\r\n"
         "lcid=0409\r\n"
         "version=01.0\r\n"
         "origin=ignored\r\n"
         "syskind=win32\r\n"
         "name=MARROWJETLib";
  HeldTypeLib library;
  ASSERT_EQ(LoadTypeLib(qv::ToUtf16(path).c_str(), library.Receive()), S_OK);
  qv::testing::ExpectLibraryOf(library.Get(), MarrowjetRecord());
}

TEST(TypeLibraryFile, RecordsThatCannotBeWrittenLeaveTheFile) {
  qv::testing::TempPrefix prefix;
  const std::string path = prefix.Path("lib.tlb");
  ASSERT_TRUE(qv::WriteTypeLibraryFile(path, MarrowjetRecord()));
  const std::string before = ReadFile(path);
  TYPELIBRECORD refused[4] = {MarrowjetRecord(), MarrowjetRecord(), MarrowjetRecord(),
                              MarrowjetRecord()};
  refused[0].name = WSTR("two\nlines");
  refused[1].helpString = WSTR("carriage\rreturn");
  refused[2].cbSize = sizeof(TYPELIBRECORD) - 1;
  const uint32_t unknownKind = 7;
  std::memcpy(&refused[3].syskind, &unknownKind, sizeof unknownKind);
  for (const TYPELIBRECORD& record : refused) EXPECT_FALSE(qv::WriteTypeLibraryFile(path, record));
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_FALSE(qv::WriteTypeLibraryFile(prefix.Path("no/such/folder/lib.tlb"), MarrowjetRecord()));
  EXPECT_FALSE(std::filesystem::exists(prefix.Path("no")));
}

}  // namespace

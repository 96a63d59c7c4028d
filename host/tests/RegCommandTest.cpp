// quorvane reg: changes made by the command are seen through the registry calls, and .reg
// files round-trip.
#include "CliRunner.h"
#include "LegacyRegistry.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>
#include <qv/utf.h>
#include <windows.h>

#include <fstream>
#include <iterator>

namespace {

using qv::testing::RunQuorvane;
using Args = std::vector<std::string>;

const std::string kKey = "HKLM\\SOFTWARE\\Drennic\\Quorvane";
const std::string kFullKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Drennic\\Quorvane";

void Succeeds(const Args& args) {
  auto result = RunQuorvane(args);
  ASSERT_EQ(result.exitCode, 0) << result.err;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RegCommandTest, AddIsSeenByTheRegistryCallsAndQueryShowsIt) {
  qv::testing::TempPrefix prefix;
  Succeeds({"reg", "add", kKey, "/v", "LogFile", "/t", "REG_SZ", "/d", "/var/log/quorvane.log"});

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Drennic\\Quorvane", 0, KEY_READ, &key), 0);
  char text[64];
  DWORD size = sizeof text, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "logfile", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), 0);
  EXPECT_EQ(std::string(text, size), std::string("/var/log/quorvane.log", 22));
  EXPECT_EQ(type, DWORD(REG_SZ));
  RegCloseKey(key);

  auto query = RunQuorvane({"reg", "query", kKey});
  EXPECT_EQ(query.exitCode, 0);
  EXPECT_EQ(query.out, kFullKey + "\n    LogFile    REG_SZ    /var/log/quorvane.log\n\n");
}

TEST(RegCommandTest, EveryTypeIsAddedAndShown) {
  qv::testing::TempPrefix prefix;
  struct Case {
    Args options;
    const char* shown;
  } cases[] = {
      {{"/v", "Text", "/d", "plain text"}, "    Text    REG_SZ    plain text"},
      {{"/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%HOME%\\x"}, "    Path    REG_EXPAND_SZ    %HOME%\\x"},
      {{"/v", "Ten", "/t", "REG_DWORD", "/d", "10"}, "    Ten    REG_DWORD    0xa"},
      {{"/v", "Hex", "/t", "reg_dword", "/d", "0xFFFFFFFF"}, "    Hex    REG_DWORD    0xffffffff"},
      {{"/v", "Big", "/t", "REG_QWORD", "/d", "0x100000000"}, "    Big    REG_QWORD    0x100000000"},
      {{"/v", "Bytes", "/t", "REG_BINARY", "/d", "00ff10"}, "    Bytes    REG_BINARY    00FF10"},
      {{"/v", "List", "/t", "REG_MULTI_SZ", "/d", "a\\0b c"}, "    List    REG_MULTI_SZ    a\\0b c"},
      {{"/v", "Commas", "/t", "REG_MULTI_SZ", "/s", ",", "/d", "x,y"}, "    Commas    REG_MULTI_SZ    x\\0y"},
      {{"/ve", "/d", "the default"}, "    (Default)    REG_SZ    the default"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    Args add{"reg", "add", kKey};
    add.insert(add.end(), c.options.begin(), c.options.end());
    Succeeds(add);
    Args query{"reg", "query", kKey};
    if (c.options[0] == "/ve") query.push_back("/ve");
    else query.insert(query.end(), {"/v", c.options[1]});
    auto result = RunQuorvane(query);
    EXPECT_EQ(result.out, kFullKey + "\n" + c.shown + "\n\n");
  }
}

TEST(RegCommandTest, DeleteValuesAndWholeTrees) {
  qv::testing::TempPrefix prefix;
  Succeeds({"reg", "add", kKey + "\\Ports\\One", "/v", "Script", "/d", "x"});
  Succeeds({"reg", "add", kKey + "\\Ports\\Two\\Deeper"});
  Succeeds({"reg", "add", kKey, "/v", "A", "/d", "1"});
  Succeeds({"reg", "add", kKey, "/v", "B", "/d", "2"});

  Succeeds({"reg", "delete", kKey, "/v", "a"});
  EXPECT_EQ(RunQuorvane({"reg", "query", kKey, "/v", "A"}).exitCode, 1);
  Succeeds({"reg", "delete", kKey, "/va"});
  auto listing = RunQuorvane({"reg", "query", kKey});
  EXPECT_EQ(listing.out, kFullKey + "\n\n" + kFullKey + "\\Ports\n");

  Succeeds({"reg", "delete", kKey + "\\Ports", "/f"});
  EXPECT_EQ(RunQuorvane({"reg", "query", kKey + "\\Ports"}).exitCode, 1);
  EXPECT_EQ(RunQuorvane({"reg", "query", kKey}).out, kFullKey + "\n\n");
}

TEST(RegCommandTest, FailedOperationsExitOneWithTheSystemText) {
  qv::testing::TempPrefix prefix;
  Succeeds({"reg", "add", "HKLM\\SOFTWARE\\Present"});
  std::string existing = prefix.Path("existing.reg");
  std::ofstream(existing) << "keep me";
  struct Case {
    Args args;
    std::string message;
    std::string input = "/dev/null";  // standard input
  } cases[] = {
      {{"reg", "query", "HKLM\\SOFTWARE\\Missing"}, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Missing: The file could not be found."},
      {{"reg", "query", "HKLM\\SOFTWARE\\Present", "/v", "nope"}, "value nope: The file could not be found."},
      {{"reg", "delete", "HKLM\\SOFTWARE\\Missing"}, "The file could not be found."},
      {{"reg", "delete", "HKLM"}, "Access was denied."},
      {{"reg", "export", "HKLM\\SOFTWARE\\Missing", prefix.Path("x.reg")}, "The file could not be found."},
      {{"reg", "export", "HKLM\\SOFTWARE\\Present", existing}, "exists already"},
      {{"reg", "import", prefix.Path("absent.reg")}, "cannot read"},
      {{"reg", "import", prefix.Dir()}, "cannot read " + prefix.Dir() + ": it is a folder"},
      {{"reg", "import", "-"}, "cannot read standard input: Is a directory", prefix.Dir()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2]);
    qv::testing::CliRun run;
    run.input = c.input;
    auto result = qv::testing::RunQuorvaneWith(run, c.args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("quorvane: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(ReadFile(existing), "keep me");
}

TEST(RegCommandTest, ExportThenImportGivesTheSameTree) {
  qv::testing::TempPrefix prefix;
  std::string longHex(200, 'a');
  Succeeds({"reg", "add", kKey, "/v", "LogFile", "/d", "C:\\Logs\\\"quoted\".log"});
  Succeeds({"reg", "add", kKey, "/v", "Na\"me\\", "/t", "REG_DWORD", "/d", "10"});
  Succeeds({"reg", "add", kKey, "/ve", "/d", "default"});
  Succeeds({"reg", "add", kKey, "/v", "Blob", "/t", "REG_BINARY", "/d", longHex});
  Succeeds({"reg", "add", kKey, "/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%"});
  Succeeds({"reg", "add", kKey, "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "a\\0Grüße"});
  Succeeds({"reg", "add", kKey + "\\Ports\\LPT9", "/v", "Script", "/d", "WriteFile: C:\\Jobs\\?UN?.prn"});
  // A string without its terminator can't be written as "text"; it must still come back exactly.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Drennic\\Quorvane", 0, KEY_ALL_ACCESS, &key), 0);
  ASSERT_EQ(RegSetValueExW(key, WSTR("Bare"), 0, REG_SZ, reinterpret_cast<const BYTE*>(WSTR("abc")), 6), 0);
  RegCloseKey(key);

  std::string first = prefix.Path("first.reg"), second = prefix.Path("second.reg");
  Succeeds({"reg", "export", kKey, first});
  std::string exported = ReadFile(first);
  for (const char* line : {"Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Drennic\\Quorvane]\n",
                           "\"LogFile\"=\"C:\\\\Logs\\\\\\\"quoted\\\".log\"\n", "\"Na\\\"me\\\\\"=dword:0000000a\n",
                           "@=\"default\"\n", "\"Blob\"=hex:aa,aa,", ",\\\n  aa,aa", "\"Expand\"=hex(2):25,00,54,00,",
                           "\"Bare\"=hex(1):61,00,62,00,63,00\n",
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Drennic\\Quorvane\\Ports\\LPT9]\n"})
    EXPECT_NE(exported.find(line), std::string::npos) << line << "\nin:\n" << exported;

  Succeeds({"reg", "delete", kKey});
  Succeeds({"reg", "import", first});
  Succeeds({"reg", "export", kKey, second});
  EXPECT_EQ(ReadFile(second), exported);
}

TEST(RegCommandTest, ImportReadsFilesWrittenElsewhere) {
  qv::testing::TempPrefix prefix;
  Succeeds({"reg", "add", "HKLM\\SOFTWARE\\Old\\Sub"});
  Succeeds({"reg", "add", kKey, "/v", "Stale", "/d", "x"});
  std::string file = prefix.Path("windows.reg");
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; removed keys and values\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Drennic\\Quorvane]\r\n"
      "\"Stale\"=-\r\n"
      "\"Bin\"=hex:01,02,\\\r\n"
      "  03\r\n"
      "\"Serial\"=dword:00000010\r\n"
      "[HKEY_CLASSES_ROOT\\MarrowjetUI.Job\\CLSID]\r\n"
      "@=\"{00000000-0000-0000-0000-000000000001}\"\r\n";
  // Saved as Windows saves it: UTF-16 with a byte order mark.
  std::u16string wide = qv::ToUtf16(text);
  std::ofstream out(file, std::ios::binary);
  out << "\xFF\xFE";
  out.write(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  out.close();

  Succeeds({"reg", "import", file});
  EXPECT_EQ(RunQuorvane({"reg", "query", "HKLM\\SOFTWARE\\Old"}).exitCode, 1);
  EXPECT_EQ(RunQuorvane({"reg", "query", kKey}).out,
            kFullKey + "\n    Bin    REG_BINARY    010203\n    Serial    REG_DWORD    0x10\n\n");
  EXPECT_EQ(RunQuorvane({"reg", "query", "HKLM\\SOFTWARE\\Classes\\MarrowjetUI.Job\\CLSID", "/ve"}).out,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\MarrowjetUI.Job\\CLSID\n"
            "    (Default)    REG_SZ    {00000000-0000-0000-0000-000000000001}\n\n");
}

TEST(RegCommandTest, BadFileChangesNothing) {
  qv::testing::TempPrefix prefix;
  std::string file = prefix.Path("bad.reg");
  std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n[HKLM\\SOFTWARE\\New]\n\"ok\"=\"1\"\n\"bad\"=dword:xyz\n";
  auto result = RunQuorvane({"reg", "import", file});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find(file + ":5: bad number \"xyz\""), std::string::npos) << result.err;
  EXPECT_EQ(RunQuorvane({"reg", "query", "HKLM\\SOFTWARE\\New"}).exitCode, 1);

  std::ofstream(file) << "REGEDIT4\n";
  EXPECT_EQ(RunQuorvane({"reg", "import", file}).exitCode, 1);
}

}  // namespace

namespace {

// The registry refuses key names over 255 characters; the command says so before it changes
// anything, and keys of such names left by an older store can still be listed and removed.
TEST(RegCommandTest, KeyNamesLongerThan255CharactersAreRefused) {
  qv::testing::TempPrefix prefix;
  const std::string longName(256, 'k');
  const std::string problem = "the key name \"" + std::string(24, 'k') + "...\" has 256 characters";
  struct Case {
    const char* name;
    std::string regFile;  // empty: `reg add` of the key below
    std::string key;
    int exitCode;
    std::string error;
  } cases[] = {
      {"add 255", "", "HKLM\\SOFTWARE\\Ok\\" + std::string(255, 'k'), 0, ""},
      {"add 256", "", "HKLM\\SOFTWARE\\New\\" + longName, 2, problem},
      {"add 256 above", "", "HKLM\\SOFTWARE\\New\\" + longName + "\\Below", 2, problem},
      {"import 256", "[HKLM\\SOFTWARE\\New\\" + longName + "]\n\"v\"=\"1\"\n", "", 1, ":3: bad key path: " + problem},
      {"import 256 after a good key", "[HKLM\\SOFTWARE\\New]\n[HKLM\\SOFTWARE\\New\\" + longName + "]\n", "", 1,
       ":4: bad key path: " + problem},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qv::testing::CliResult result;
    if (c.regFile.empty()) {
      result = RunQuorvane({"reg", "add", c.key, "/v", "v", "/d", "1"});
    } else {
      const std::string file = prefix.Path("long.reg");
      std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n" << c.regFile;
      result = RunQuorvane({"reg", "import", file});
    }
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
    EXPECT_EQ(RunQuorvane({"reg", "query", "HKLM\\SOFTWARE\\New"}).exitCode, 1) << "nothing was created";
  }

  // A removal may name such a key: it is how an older store is cleaned.
  Succeeds({"reg", "add", "HKLM\\SOFTWARE\\Old"});
  qv::testing::PlantKeyPastTheChecks("SOFTWARE\\Old", longName);
  auto query = RunQuorvane({"reg", "query", "HKLM\\SOFTWARE\\Old"});
  EXPECT_NE(query.out.find(longName), std::string::npos) << query.out;
  const std::string file = prefix.Path("clean.reg");
  std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n[-HKLM\\SOFTWARE\\Old\\" << longName << "]\n";
  Succeeds({"reg", "import", file});
  EXPECT_EQ(RunQuorvane({"reg", "query", "HKLM\\SOFTWARE\\Old\\" + longName}).exitCode, 1);
}

// A name holding a NUL character would reach the registry cut short at it: deleting
// "SOFTWARE\<NUL>Gone" would delete all of SOFTWARE. Such files are refused whole.
TEST(RegCommandTest, NamesHoldingANulCharacterAreRefusedAndChangeNothing) {
  qv::testing::TempPrefix prefix;
  Succeeds({"reg", "add", "HKLM\\SOFTWARE\\Keep", "/v", "Keep", "/d", "1"});
  const std::string nul(1, '\0');
  const struct {
    const char* name;
    std::string lines;
    std::string error;
  } cases[] = {
      {"delete key", "[-HKLM\\SOFTWARE\\" + nul + "Gone]\n", ":3: bad key path: a key name can't hold a NUL character"},
      {"create key", "[HKLM\\SOFTWARE\\Keep" + nul + "x]\n", ":3: bad key path: a key name can't hold a NUL character"},
      {"delete value", "[HKLM\\SOFTWARE\\Keep]\n\"Keep" + nul + "x\"=-\n", ":4: a value name can't hold a NUL character"},
      {"set value", "[HKLM\\SOFTWARE\\Keep]\n\"Keep" + nul + "x\"=\"2\"\n", ":4: a value name can't hold a NUL character"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = prefix.Path("nul.reg");
    std::ofstream(file, std::ios::binary) << "Windows Registry Editor Version 5.00\n\n" << c.lines;
    auto result = RunQuorvane({"reg", "import", file});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
    auto query = RunQuorvane({"reg", "query", "HKLM\\SOFTWARE\\Keep", "/v", "Keep"});
    EXPECT_EQ(query.exitCode, 0) << query.err;
    EXPECT_NE(query.out.find("Keep    REG_SZ    1"), std::string::npos) << query.out;
  }
}

}  // namespace

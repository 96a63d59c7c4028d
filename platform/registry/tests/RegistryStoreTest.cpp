// The store's file: found through the prefix, and never replaced or repaired when it is damaged.
#include <TempPrefix.h>
#include <gtest/gtest.h>
#include <qv/prefix.h>
#include <sqlite3.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadFile(const std::string& path) {
  if (std::filesystem::is_directory(path)) return "(a folder)";
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

LSTATUS OpenSoftware() {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return status;
}

void MakeForeignDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE photos(x); INSERT INTO photos VALUES(1);", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
}

// Fills a store, closes it, then overwrites its pages after the first one with garbage.
void MakeDamagedStore(const qv::testing::TempPrefix& prefix) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Filler", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            0);
  std::string blob(3000, 'x');
  for (int i = 0; i < 20; ++i)
    RegSetValueExA(key, std::to_string(i).c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                   static_cast<DWORD>(blob.size()));
  RegCloseKey(key);
  qv::SetPrefixOverride(prefix.Dir());  // closes the store, folding the log into the file
  std::string content = ReadFile(prefix.Path("registry.db"));
  ASSERT_GT(content.size(), 8192u);
  for (size_t i = 4096; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  WriteFile(prefix.Path("registry.db"), content);
}

struct Damage {
  const char* what;
  void (*make)(const qv::testing::TempPrefix&);
  LSTATUS status;
};
void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.what; }

class DamagedStoreTest : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedStoreTest, FailsWithClearErrorAndLeavesTheFileAlone) {
  qv::testing::TempPrefix prefix;
  std::string path = prefix.Path("registry.db");
  GetParam().make(prefix);
  std::string before = ReadFile(path);

  ::testing::internal::CaptureStderr();
  LSTATUS first = OpenSoftware();
  LSTATUS second = OpenSoftware();
  HKEY key = nullptr;
  LSTATUS create = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                   nullptr);
  std::string told = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(first, GetParam().status);
  EXPECT_EQ(second, GetParam().status);
  EXPECT_EQ(create, GetParam().status);
  EXPECT_NE(told.find(path), std::string::npos) << told;
  EXPECT_EQ(told.find(path), told.rfind(path)) << "told once: " << told;
  EXPECT_TRUE(ReadFile(path) == before) << "the file was changed";
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedStoreTest,
    ::testing::Values(
        Damage{"NotADatabase",
               [](const qv::testing::TempPrefix& p) { WriteFile(p.Path("registry.db"), std::string(5000, 'Z')); },
               ERROR_REGISTRY_CORRUPT},
        Damage{"ForeignDatabase", [](const qv::testing::TempPrefix& p) { MakeForeignDatabase(p.Path("registry.db")); },
               ERROR_REGISTRY_CORRUPT},
        Damage{"DamagedPages", MakeDamagedStore, ERROR_REGISTRY_CORRUPT},
        Damage{"Unopenable",
               [](const qv::testing::TempPrefix& p) { std::filesystem::create_directory(p.Path("registry.db")); },
               ERROR_CANTOPEN}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.what); });

TEST(PrefixTest, OverrideThenEnvironment) {
  qv::testing::TempPrefix prefix;
  EXPECT_EQ(qv::PrefixDir(), prefix.Dir());
  std::string nested = prefix.Path("from-env/deeper");
  qv::SetPrefixOverride("");
  setenv("QUORVANE_PREFIX", nested.c_str(), 1);
  EXPECT_EQ(qv::PrefixDir(), nested);
  EXPECT_TRUE(std::filesystem::is_directory(nested)) << "created on first use";
  std::string overridden = prefix.Path("override");
  qv::SetPrefixOverride(overridden);
  EXPECT_EQ(qv::PrefixDir(), overridden);
}

TEST(PrefixTest, StoreFollowsThePrefix) {
  qv::testing::TempPrefix first;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OnlyInFirst", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            0);
  qv::SetPrefixOverride(first.Path("second"));
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "handles belong to the old store";
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OnlyInFirst", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(std::filesystem::exists(first.Path("second/registry.db")));
}

TEST(PrefixTest, LibraryDirHoldsThePlatformLibrary) {
  EXPECT_TRUE(std::filesystem::exists(qv::LibraryDir() + "/libqvplatform.so")) << qv::LibraryDir();
}

}  // namespace

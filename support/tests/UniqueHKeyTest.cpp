// The registry-key owner every part of the system holds its keys in: each key it takes is
// closed exactly once, and never one it gave up or handed on.
#include <gtest/gtest.h>

#include "TempPrefix.h"
#include "TestRegistry.h"
#include "win/UniqueResource.h"

#include <functional>
#include <utility>

#include <qv/macros.h>

using namespace jobproc_testing;

namespace {

constexpr const char* kFirstKey = "SOFTWARE\\QuorvaneTests\\UniqueHKey\\First";
constexpr const char* kSecondKey = "SOFTWARE\\QuorvaneTests\\UniqueHKey\\Second";

HKEY Open(const char* path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS) << path;
  return key;
}

// A closed handle is refused as invalid; an open one answers (here: no such value).
bool IsOpen(HKEY key) {
  DWORD size = 0;
  return RegQueryValueExW(key, WSTR("absent"), nullptr, nullptr, nullptr, &size) != ERROR_INVALID_HANDLE;
}

struct Row {
  const char* name;
  // Works on two open keys and returns the owner that is left, still alive.
  std::function<win::UniqueHKey(HKEY first, HKEY second)> act;
  bool firstOpen;           // while the owner left lives
  bool secondOpen;          // the same for the second key
  bool firstOpenAfterward;  // once that owner is gone too
  bool secondOpenAfterward;
};

class UniqueHKeyTest : public ::testing::Test {
 protected:
  UniqueHKeyTest() {
    CreateKey(kFirstKey);
    CreateKey(kSecondKey);
  }
  qv::testing::TempPrefix prefix;
};

TEST_F(UniqueHKeyTest, ClosesEachKeyItTakesExactlyOnce) {
  const Row rows[] = {
      {"destruction closes the key", [](HKEY first, HKEY) {
         { win::UniqueHKey owner(first); }
         return win::UniqueHKey();
       }, false, true, false, true},
      {"reset closes the key held", [](HKEY first, HKEY) {
         win::UniqueHKey owner(first);
         owner.Reset();
         return owner;
       }, false, true, false, true},
      {"reset to another key closes the first and keeps the second", [](HKEY first, HKEY second) {
         win::UniqueHKey owner(first);
         owner.Reset(second);
         return owner;
       }, false, true, false, false},
      {"a failed open through Out closes the key held and holds none", [](HKEY first, HKEY) {
         win::UniqueHKey owner(first);
         EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\QuorvaneTests\\NoSuchKey"), 0, KEY_READ,
                                 owner.Out()),
                   ERROR_FILE_NOT_FOUND);
         EXPECT_FALSE(owner);
         return owner;
       }, false, true, false, true},
      {"a move hands the key on without closing it", [](HKEY first, HKEY) {
         win::UniqueHKey owner(first);
         win::UniqueHKey taker(std::move(owner));
         EXPECT_FALSE(owner);
         return taker;
       }, true, true, false, true},
      {"move assignment closes the key it replaces", [](HKEY first, HKEY second) {
         win::UniqueHKey owner(first);
         win::UniqueHKey taker(second);
         taker = std::move(owner);
         return taker;
       }, true, false, false, false},
      {"moving onto itself keeps the key", [](HKEY first, HKEY) {
         win::UniqueHKey owner(first);
         win::UniqueHKey& same = owner;
         owner = std::move(same);
         EXPECT_EQ(owner.Get(), first);
         return owner;
       }, true, true, false, true},
      {"a detached key stays open", [](HKEY first, HKEY) {
         win::UniqueHKey owner(first);
         EXPECT_EQ(owner.Detach(), first);
         return owner;
       }, true, true, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const HKEY first = Open(kFirstKey);
    const HKEY second = Open(kSecondKey);
    {
      const win::UniqueHKey left = row.act(first, second);
      EXPECT_EQ(IsOpen(first), row.firstOpen);
      EXPECT_EQ(IsOpen(second), row.secondOpen);
    }
    EXPECT_EQ(IsOpen(first), row.firstOpenAfterward);
    EXPECT_EQ(IsOpen(second), row.secondOpenAfterward);
    // What the owner did not close is the test's to close, and only that.
    EXPECT_EQ(RegCloseKey(first), row.firstOpenAfterward ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(second), row.secondOpenAfterward ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
  }
}

}  // namespace

// The platform's one owner of a host file descriptor: each descriptor it takes is closed
// exactly once, and never one it gave up.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <utility>

#include "../UniqueFd.h"

namespace {

using qv::files::UniqueFd;

int OpenNull() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

struct Row {
  const char* name;
  // Works on two open descriptors; returns the owner that is left, still alive.
  std::function<void(int first, int second, UniqueFd& left)> act;
  bool firstOpen;   // while the owner left lives
  bool secondOpen;
  bool secondOpenAfterward;  // once that owner is gone too
};

TEST(UniqueFd, ClosesEachDescriptorItTakesExactlyOnce) {
  const Row rows[] = {
      {"destruction closes", [](int first, int, UniqueFd&) { UniqueFd owner(first); }, false, true, true},
      {"reset without a descriptor closes the one held", [](int first, int, UniqueFd& left) {
         left.Reset(first);
         left.Reset();
         EXPECT_FALSE(left.Valid());
       }, false, true, true},
      {"reset to another closes the first and keeps the second", [](int first, int second, UniqueFd& left) {
         left.Reset(first);
         left.Reset(second);
         EXPECT_EQ(left.Get(), second);
       }, false, true, false},
      {"a move hands the descriptor over and closes the one it replaces", [](int first, int second, UniqueFd& left) {
         left.Reset(first);
         UniqueFd owner(second);
         UniqueFd taken(std::move(owner));
         EXPECT_FALSE(owner.Valid());
         left = std::move(taken);
         EXPECT_FALSE(taken.Valid());
         EXPECT_EQ(left.Get(), second);
       }, false, true, false},
      {"a released descriptor stays open", [](int first, int, UniqueFd&) {
         UniqueFd owner(first);
         EXPECT_EQ(owner.Release(), first);
         EXPECT_FALSE(owner.Valid());
       }, true, true, true},
      {"close reports the close and leaves nothing to close again", [](int first, int, UniqueFd& left) {
         left.Reset(first);
         EXPECT_EQ(left.Close(), 0);
         EXPECT_EQ(left.Close(), 0);  // nothing held: no second close
       }, false, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const int first = OpenNull();
    const int second = OpenNull();
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    {
      UniqueFd left;
      row.act(first, second, left);
      EXPECT_EQ(IsOpen(first), row.firstOpen);
      EXPECT_EQ(IsOpen(second), row.secondOpen);
    }
    EXPECT_EQ(IsOpen(second), row.secondOpenAfterward);
    // What the owner did not close is the test's to close.
    if (row.firstOpen) close(first);
    if (row.secondOpenAfterward) close(second);
  }
}

}  // namespace

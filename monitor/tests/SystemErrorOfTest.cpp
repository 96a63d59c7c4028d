// The last error an entry point leaves for a failed HRESULT: the system code inside, or the
// caller's own answer for a result that carries none.
#include <gtest/gtest.h>

#include "SystemErrorOf.h"

using namespace Quorvane;

namespace {

TEST(SystemErrorOfTest, OnlyWin32ResultsWithACodeGiveTheirCode) {
  constexpr DWORD kOtherwise = 0xABCD;
  struct Row {
    const char* name;
    HRESULT result;
    DWORD expected;
  };
  const Row rows[] = {
      {"a system code folded in", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), ERROR_ACCESS_DENIED},
      {"the largest system code", static_cast<HRESULT>(0x8007FFFF), 0xFFFF},
      {"a Win32 result without a code", static_cast<HRESULT>(0x80070000), kOtherwise},
      {"a generic failure", E_FAIL, kOtherwise},
      {"out of memory, which folds in a system code", E_OUTOFMEMORY, ERROR_OUTOFMEMORY},
      {"a class that is not registered", static_cast<HRESULT>(0x80040154), kOtherwise},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SystemErrorOf(row.result, kOtherwise), row.expected);
  }
}

}  // namespace

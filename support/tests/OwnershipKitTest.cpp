// The ownership kit: each owner releases what it holds exactly once, whatever moves, resets and
// hand-overs happen on the way, and the barrier answers each kind of exception as documented.
#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "win/ComBstr.h"
#include "win/ComPtr.h"
#include "win/ExceptionBarrier.h"
#include "win/UniqueResource.h"

#include <qv/macros.h>

#include "TempPrefix.h"

namespace {

// Handles are small numbers; 0 holds nothing. Every release is recorded.
std::vector<int> g_released;

struct CountedTraits {
  using Handle = int;
  static Handle Empty() noexcept { return 0; }
  static bool Holds(Handle handle) noexcept { return handle != 0; }
  static void Release(Handle handle) noexcept { g_released.push_back(handle); }
};
using Owner = win::UniqueResource<CountedTraits>;

TEST(UniqueResourceTest, EveryHandleIsReleasedOnceAndOnlyByItsLastOwner) {
  struct Row {
    const char* name;
    std::function<void()> steps;  // runs with g_released empty; all owners are gone at the end
    std::vector<int> released;    // in order
  };
  const Row rows[] = {
      {"an owner that goes releases", [] { Owner a(1); }, {1}},
      {"an empty owner releases nothing", [] { Owner a; }, {}},
      {"a moved-from owner releases nothing",
       [] {
         Owner a(1);
         Owner b(std::move(a));
         EXPECT_FALSE(a);
         EXPECT_EQ(b.Get(), 1);
       },
       {1}},
      {"move assignment releases the target's handle first",
       [] {
         Owner a(1);
         Owner b(2);
         b = std::move(a);
         EXPECT_EQ(g_released, std::vector<int>{2});
       },
       {2, 1}},
      {"self move assignment keeps the handle",
       [] {
         Owner a(1);
         Owner& same = a;
         a = std::move(same);
         EXPECT_EQ(a.Get(), 1);
       },
       {1}},
      {"reset releases the old handle and owns the new one",
       [] {
         Owner a(1);
         a.Reset(2);
         EXPECT_EQ(g_released, std::vector<int>{1});
       },
       {1, 2}},
      {"a detached handle is the caller's",
       [] {
         Owner a(1);
         EXPECT_EQ(a.Detach(), 1);
       },
       {}},
      {"an out parameter drops the old handle and owns what the callee wrote",
       [] {
         Owner a(1);
         *a.Out() = 3;
         EXPECT_EQ(g_released, std::vector<int>{1});
       },
       {1, 3}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    g_released.clear();
    row.steps();
    EXPECT_EQ(g_released, row.released);
  }
}

TEST(UniqueResourceTest, FailedOpensHoldNothing) {
  // CreateFile's failure and most other calls' failure are never closed.
  EXPECT_FALSE(win::UniqueHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(win::UniqueHandle(nullptr));
  EXPECT_FALSE(win::UniqueHKey(nullptr));
  const win::UniqueHandle failed(INVALID_HANDLE_VALUE);
  EXPECT_EQ(failed.Get(), INVALID_HANDLE_VALUE);  // the value stays readable for the caller
}

// The key owner's own part is its release: the key is really closed (the owner's moves and
// resets are the template's, checked above).
TEST(UniqueResourceTest, AKeyOwnerClosesTheKeyItTook) {
  qv::testing::TempPrefix prefix;
  HKEY raw = nullptr;
  {
    win::UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QuorvaneTests\\KeyOwner", 0, nullptr, 0, KEY_READ,
                              nullptr, key.Out(), nullptr),
              ERROR_SUCCESS);
    raw = key.Get();
    DWORD size = 0;
    EXPECT_NE(RegQueryValueExW(raw, WSTR("absent"), nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  }
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(raw, WSTR("absent"), nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
}

// An object that counts its references; deleted by nobody (it lives on the test's stack).
struct CountedObject : IUnknown {
  ULONG references = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

TEST(ComPtrTest, EachReferenceIsReleasedOnce) {
  struct Row {
    const char* name;
    std::function<void(CountedObject&, CountedObject&)> steps;
    ULONG firstLeft;   // references left on the first object once every pointer is gone
    ULONG secondLeft;  // and on the second
  };
  const Row rows[] = {
      {"a pointer that goes releases", [](CountedObject& a, CountedObject&) { win::ComPtr<IUnknown> p(&a); }, 0, 1},
      {"a moved reference is released by its new owner only",
       [](CountedObject& a, CountedObject&) {
         win::ComPtr<IUnknown> p(&a);
         win::ComPtr<IUnknown> q(std::move(p));
         EXPECT_FALSE(p);
         EXPECT_EQ(a.references, 1u);
       },
       0, 1},
      {"move assignment releases the target's reference",
       [](CountedObject& a, CountedObject& b) {
         win::ComPtr<IUnknown> p(&a);
         win::ComPtr<IUnknown> q(&b);
         q = std::move(p);
         EXPECT_EQ(b.references, 0u);
         EXPECT_EQ(q.Get(), &a);
       },
       0, 0},
      {"an out parameter drops the reference held before",
       [](CountedObject& a, CountedObject& b) {
         win::ComPtr<IUnknown> p(&a);
         *p.Out() = static_cast<IUnknown*>(&b);
         EXPECT_EQ(a.references, 0u);
       },
       0, 0},
      {"an out parameter of the interface's own type does the same",
       [](CountedObject& a, CountedObject& b) {
         win::ComPtr<IUnknown> p(&a);
         *p.OutInterface() = &b;
         EXPECT_EQ(a.references, 0u);
         EXPECT_EQ(p.Get(), &b);
       },
       0, 0},
      {"a detached reference is the caller's",
       [](CountedObject& a, CountedObject&) {
         win::ComPtr<IUnknown> p(&a);
         EXPECT_EQ(p.Detach(), &a);
       },
       1, 1},
      {"reset releases now and not again",
       [](CountedObject& a, CountedObject&) {
         win::ComPtr<IUnknown> p(&a);
         p.Reset();
         p.Reset();
       },
       0, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CountedObject first;
    CountedObject second;
    row.steps(first, second);
    EXPECT_EQ(first.references, row.firstLeft);
    EXPECT_EQ(second.references, row.secondLeft);
  }
}

TEST(ComBstrTest, TextSurvivesAndEmptyIsNotNull) {
  struct Row {
    const char* name;
    win::WideString text;
  };
  const Row rows[] = {
      {"plain", WSTR("Invoice 7")},
      {"empty", win::WideString()},
      {"with a NUL inside", win::WideString(WSTR("a\0b"), 3)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const win::ComBstr value(row.text);
    ASSERT_NE(value.Get(), nullptr);  // callees may not be handed null for a text
    EXPECT_EQ(SysStringLen(value.Get()), row.text.size());
    EXPECT_EQ(value.ToText(), row.text);
  }
}

TEST(ComBstrTest, OwnershipMovesAndOutParametersFreeTheOldString) {
  // The sanitizer build reports a string that is freed twice or never.
  win::ComBstr a(WSTR("first"));
  win::ComBstr b(std::move(a));
  EXPECT_EQ(a.Get(), nullptr);
  EXPECT_EQ(a.ToText(), win::WideString());
  b = win::ComBstr(WSTR("second"));
  EXPECT_EQ(b.ToText(), WSTR("second"));
  *b.Out() = SysAllocString(WSTR("third"));
  EXPECT_EQ(b.ToText(), WSTR("third"));
  BSTR handed = b.Detach();
  EXPECT_EQ(b.Get(), nullptr);
  SysFreeString(handed);
  win::ComBstr taken;
  taken.Attach(SysAllocString(WSTR("fourth")));
  taken.Attach(SysAllocString(WSTR("fifth")));
  EXPECT_EQ(taken.ToText(), WSTR("fifth"));
}

TEST(ExceptionBarrierTest, EachExceptionGetsTheFallbackWithItsKind) {
  enum class Answer { Body, OutOfMemory, Other };
  struct Row {
    const char* name;
    std::function<Answer()> body;
    Answer expected;
  };
  const Row rows[] = {
      {"no exception: the body's result", [] { return Answer::Body; }, Answer::Body},
      {"out of memory", []() -> Answer { throw std::bad_alloc(); }, Answer::OutOfMemory},
      {"an array too long for memory is out of memory too",
       []() -> Answer { throw std::bad_array_new_length(); }, Answer::OutOfMemory},
      {"a standard exception", []() -> Answer { throw std::runtime_error("x"); }, Answer::Other},
      {"anything thrown", []() -> Answer { throw 42; }, Answer::Other},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    bool inFlight = false;
    const Answer answer = win::ExceptionBarrier(row.body, [&](bool outOfMemory) {
      // Handlers describe the exception by rethrowing it: it must still be in flight here.
      inFlight = std::current_exception() != nullptr;
      return outOfMemory ? Answer::OutOfMemory : Answer::Other;
    });
    EXPECT_EQ(answer, row.expected);
    EXPECT_EQ(inFlight, row.expected != Answer::Body);
  }
}

TEST(ExceptionBarrierTest, ABodyWithoutResultRunsTheFallbackOnlyOnFailure) {
  int fallbacks = 0;
  win::ExceptionBarrier([] {}, [&](bool) { ++fallbacks; });
  EXPECT_EQ(fallbacks, 0);
  win::ExceptionBarrier([] { throw std::logic_error("x"); }, [&](bool) { ++fallbacks; });
  EXPECT_EQ(fallbacks, 1);
}

}  // namespace

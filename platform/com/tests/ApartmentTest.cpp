#include <objbase.h>

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

TEST(Apartment, CountsNestedEntriesPerThread) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  // Another thread has an apartment of its own.
  HRESULT other = E_FAIL;
  std::thread([&] {
    other = CoInitialize(nullptr);
    CoUninitialize();
  }).join();
  EXPECT_EQ(other, S_OK);
  CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);  // still inside the first entry
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_OK);  // left completely: a fresh entry
  CoUninitialize();
  CoUninitialize();  // one too many is harmless
}

TEST(Apartment, AThreadKeepsTheKindItEnteredFirst) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  CoUninitialize();
  // The refused call was not counted: the thread is out of its apartment again.
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
  int reserved = 0;
  EXPECT_EQ(CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED), E_INVALIDARG);
}

TEST(Apartment, CreationNeedsAnApartment) {
  qv::testing::TempPrefix prefix;
  void* object = &object;
  EXPECT_EQ(CoCreateInstance(IID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  // A thread in the multithreaded apartment opens it for every thread of the process.
  std::promise<void> entered, release;
  std::future<void> enteredSignal = entered.get_future(), releaseSignal = release.get_future();
  std::thread holder([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    entered.set_value();
    releaseSignal.wait();
    CoUninitialize();
  });
  enteredSignal.wait();
  EXPECT_EQ(CoCreateInstance(IID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  release.set_value();
  holder.join();
  EXPECT_EQ(CoCreateInstance(IID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
            CO_E_NOTINITIALIZED);
}

}  // namespace

#include "TestCounter.h"

#include <TempPrefix.h>
#include <qv/prefix.h>
#include <qv/comreg.h>
#include <windows.h>
#include <qv/utf.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::u16string kCounterClassKey = WSTR("CLSID\\{6C1E4A52-9B3D-4F70-8E21-5A7D0C3B9F14}");

std::u16string ReadText(const std::u16string& path, const WCHAR* name = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return u"<none>";
  WCHAR data[1024] = {};
  DWORD size = sizeof(data) - sizeof(WCHAR);
  LSTATUS status =
      RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(data), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::u16string(data) : u"<none>";
}

void WriteText(const std::u16string& path, const std::u16string& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * 2)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// The way the system creates its objects: a "{...}" string is a class identifier, anything else
// a ProgID; created as IUnknown in context 0x17, run, then asked for the wanted interface.
HRESULT CreateByName(const std::u16string& name, REFIID iid, void** object) {
  CLSID clsid{};
  HRESULT result = name.starts_with(u'{') ? CLSIDFromString(name.c_str(), &clsid)
                                          : CLSIDFromProgID(name.c_str(), &clsid);
  if (FAILED(result)) return result;
  IUnknown* unknown = nullptr;
  result = CoCreateInstance(clsid, nullptr, 0x17, IID_IUnknown, reinterpret_cast<void**>(&unknown));
  if (FAILED(result)) return result;
  result = OleRun(unknown);
  if (SUCCEEDED(result)) result = unknown->QueryInterface(iid, object);
  unknown->Release();
  return result;
}

class ClassCreation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    serverPath_ = std::filesystem::canonical(qv::LibraryDir() + "/libqvtestserver.so").string();
    server_ = LoadLibraryA(serverPath_.c_str());
    ASSERT_NE(server_, nullptr);
    auto registerServer =
        reinterpret_cast<LPFNREGISTERSERVER>(GetProcAddress(server_, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);
    liveObjects_ =
        reinterpret_cast<LPFNLIVEOBJECTS>(GetProcAddress(server_, "TestServerLiveObjects"));
    ASSERT_NE(liveObjects_, nullptr);
  }
  void TearDown() override {
    if (server_) FreeLibrary(server_);
    CoUninitialize();
  }

  qv::testing::TempPrefix prefix_;
  std::string serverPath_;
  HMODULE server_ = nullptr;
  LPFNLIVEOBJECTS liveObjects_ = nullptr;
};

TEST_F(ClassCreation, RegistrationWritesProgIdAndClassEntries) {
  EXPECT_EQ(ReadText(TEST_COUNTER_PROGID), WSTR("Quorvane test counter"));
  EXPECT_EQ(ReadText(std::u16string(TEST_COUNTER_PROGID) + WSTR("\\CLSID")),
            WSTR("{6C1E4A52-9B3D-4F70-8E21-5A7D0C3B9F14}"));
  EXPECT_EQ(ReadText(kCounterClassKey), WSTR("Quorvane test counter"));
  EXPECT_EQ(ReadText(kCounterClassKey + WSTR("\\ProgID")), TEST_COUNTER_PROGID);
  EXPECT_EQ(ReadText(kCounterClassKey + WSTR("\\InprocServer32")), qv::ToUtf16(serverPath_));
  EXPECT_EQ(ReadText(kCounterClassKey + WSTR("\\InprocServer32"), WSTR("ThreadingModel")),
            WSTR("Apartment"));
}

TEST_F(ClassCreation, CreatesByProgIdAndByClassIdStringAndDestroysAtLastRelease) {
  for (const char16_t* name : {TEST_COUNTER_PROGID, WSTR("quorvanetest.COUNTER"),
                               WSTR("{6c1e4a52-9b3d-4f70-8e21-5a7d0c3b9f14}")}) {
    ICounter* first = nullptr;
    ICounter* second = nullptr;
    ASSERT_EQ(CreateByName(name, IID_ICounter, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(CreateByName(name, IID_ICounter, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(liveObjects_(), 2);
    first->Add(40);
    first->Add(2);
    second->Add(7);
    LONG value = 0;
    first->Get(&value);
    EXPECT_EQ(value, 42);
    second->Get(&value);
    EXPECT_EQ(value, 7);
    first->AddRef();
    first->Release();
    EXPECT_EQ(liveObjects_(), 2);
    first->Release();
    second->Release();
    EXPECT_EQ(liveObjects_(), 0);
  }
}

TEST_F(ClassCreation, ProgIdLookupFailures) {
  WriteText(WSTR("Broken.Class\\CLSID"), WSTR("not a class id"));
  CLSID clsid{};
  for (const char16_t* progId : {WSTR("No.Such.Class"), WSTR("Broken.Class"), WSTR(""),
                                 WSTR("CLSID\\{6C1E4A52-9B3D-4F70-8E21-5A7D0C3B9F14}\\ProgID\\..")})
    EXPECT_EQ(CLSIDFromProgID(progId, &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
  EXPECT_EQ(CLSIDFromProgID(TEST_COUNTER_PROGID, nullptr), E_INVALIDARG);
}

TEST_F(ClassCreation, ServerProblemsGiveFailuresNotCrashes) {
  const std::string notALibrary = prefix_.Path("notalib.so");
  std::ofstream(notALibrary) << "just text\n";
  const std::string platform = qv::LibraryDir() + "/libqvplatform.so";
  struct Case {
    const char16_t* clsid;
    std::string server;  // empty: the class key only, no InprocServer32
    HRESULT expected;
  };
  const Case cases[] = {
      {WSTR("{11111111-0000-0000-0000-000000000001}"), "/nonexistent/libnothing.so",
       HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
      {WSTR("{11111111-0000-0000-0000-000000000002}"), "NOTHERE.DLL",
       HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
      {WSTR("{11111111-0000-0000-0000-000000000003}"), "C:\\Windows\\System32\\x.dll",
       HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
      {WSTR("{11111111-0000-0000-0000-000000000004}"), notALibrary, CO_E_ERRORINDLL},
      {WSTR("{11111111-0000-0000-0000-000000000005}"), platform,
       CO_E_ERRORINDLL},  // no DllGetClassObject
      {WSTR("{11111111-0000-0000-0000-000000000006}"), serverPath_, CLASS_E_CLASSNOTAVAILABLE},
      {WSTR("{11111111-0000-0000-0000-000000000007}"), "", REGDB_E_CLASSNOTREG},
      {WSTR("{11111111-0000-0000-0000-000000000008}"), "-",
       REGDB_E_CLASSNOTREG},  // not registered at all
  };
  for (const Case& c : cases) {
    std::u16string classKey = std::u16string(WSTR("CLSID\\")) + c.clsid;
    if (c.server != "-") WriteText(classKey, WSTR("test class"));
    if (c.server != "-" && !c.server.empty())
      WriteText(classKey + WSTR("\\InprocServer32"), qv::ToUtf16(c.server));
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromString(c.clsid, &clsid), S_OK);
    void* object = &object;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, 0x17, IID_IUnknown, &object), c.expected)
        << c.server;
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(liveObjects_(), 0);
}

TEST_F(ClassCreation, CallerMistakesAndOtherContexts) {
  void* object = &object;
  IUnknown* outer = reinterpret_cast<IUnknown*>(&object);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, outer, CLSCTX_ALL, IID_IUnknown, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
      REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, 0, IID_IUnknown, &object), E_INVALIDARG);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr),
            E_INVALIDARG);
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &object),
      E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(liveObjects_(), 0);
  EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
}

TEST_F(ClassCreation, ThreadsCreatingAtOnceShareOneLoadedServer) {
  std::vector<std::thread> threads;
  std::atomic<int> created{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      CoInitialize(nullptr);
      for (int i = 0; i < 50; ++i) {
        ICounter* counter = nullptr;
        if (CreateByName(TEST_COUNTER_PROGID, IID_ICounter, reinterpret_cast<void**>(&counter)) ==
            S_OK) {
          counter->Add(1);
          counter->Release();
          ++created;
        }
      }
      CoUninitialize();
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(created, 200);
  EXPECT_EQ(liveObjects_(), 0);
}

TEST_F(ClassCreation, WindowsServerNameIsFoundInTheLibraryFolder) {
  WriteText(kCounterClassKey + WSTR("\\InprocServer32"), WSTR("QVTESTSERVER.DLL"));
  ICounter* counter = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter,
                             reinterpret_cast<void**>(&counter)),
            S_OK);
  counter->Release();
  EXPECT_EQ(liveObjects_(), 0);
}

TEST_F(ClassCreation, UnregistrationRemovesBothTreesButNotAProgIdTakenOver) {
  auto unregisterServer =
      reinterpret_cast<LPFNREGISTERSERVER>(GetProcAddress(server_, "DllUnregisterServer"));
  ASSERT_EQ(unregisterServer(), S_OK);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(TEST_COUNTER_PROGID, &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(ReadText(kCounterClassKey), u"<none>");
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(unregisterServer(), S_OK);  // nothing left to remove is no failure

  ASSERT_EQ(
      RegisterInprocServerClass(CLSID_TestCounter, TEST_COUNTER_PROGID, WSTR("again"), server_),
      S_OK);
  WriteText(std::u16string(TEST_COUNTER_PROGID) + WSTR("\\CLSID"),
            WSTR("{11111111-0000-0000-0000-000000000009}"));
  ASSERT_EQ(unregisterServer(), S_OK);
  EXPECT_EQ(ReadText(kCounterClassKey), u"<none>");
  EXPECT_EQ(ReadText(TEST_COUNTER_PROGID), WSTR("again"));
}

}  // namespace

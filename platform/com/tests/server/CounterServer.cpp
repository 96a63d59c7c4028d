// A minimal in-process server for the component runtime's tests.
#include "TestCounter.h"

#include <qv/comreg.h>
#include <windows.h>

#include <atomic>
#include <new>

namespace {

std::atomic<LONG> liveObjects{0};
std::atomic<LONG> serverLocks{0};

class Counter final : public ICounter {
 public:
  Counter() { ++liveObjects; }
  ~Counter() { --liveObjects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ICounter) {
      *object = static_cast<ICounter*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Add(LONG amount) override {
    value_ += amount;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Get(LONG* value) override {
    if (!value) return E_POINTER;
    *value = value_;
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
  LONG value_ = 0;
};

class CounterFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is one static object: it lives as long as the library.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Counter* counter = new (std::nothrow) Counter;
    if (!counter) return E_OUTOFMEMORY;
    HRESULT result = counter->QueryInterface(riid, object);
    counter->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      ++serverLocks;
    else
      --serverLocks;
    return S_OK;
  }
};

CounterFactory factory;

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_TestCounter) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow(void) { return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer(void) {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&DllRegisterServer), &self))
    return HRESULT_FROM_WIN32(GetLastError());
  return RegisterInprocServerClass(CLSID_TestCounter, TEST_COUNTER_PROGID,
                                   WSTR("Quorvane test counter"), self);
}

STDAPI DllUnregisterServer(void) {
  return UnregisterInprocServerClass(CLSID_TestCounter, TEST_COUNTER_PROGID);
}

extern "C" LONG TestServerLiveObjects(void) { return liveObjects; }

// The reference counting and IDispatch plumbing shared by the job processor's component classes.
// Callers bind early to the interface slots; late binding by name is not offered.
#pragma once
#include <windows.h>

#include <atomic>
#include <new>

#include "ServerLock.h"

namespace MarrowjetUI {

template <class Derived, class Interface, const IID& InterfaceId>
class DispatchObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == InterfaceId) {
      *ppvObject = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // A new object with one reference, handed out as `riid`; the creation reference is dropped.
  static HRESULT CreateInstance(REFIID riid, void** ppvObject) noexcept {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    Derived* object = new (std::nothrow) Derived();
    if (!object) return E_OUTOFMEMORY;
    const HRESULT result = object->QueryInterface(riid, ppvObject);
    object->Release();
    return result;
  }

 protected:
  DispatchObject() { ServerLock::ObjectCreated(); }
  ~DispatchObject() { ServerLock::ObjectDestroyed(); }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace MarrowjetUI

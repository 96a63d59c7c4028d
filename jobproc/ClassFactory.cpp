#include "ClassFactory.h"

#include "ServerLock.h"

namespace MarrowjetUI {

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppvObject = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppvObject = nullptr;
  return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
  ServerLock::Lock();
  return 2;
}

ULONG ClassFactory::Release() {
  ServerLock::Unlock();
  return 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  *ppvObject = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  return create_(riid, ppvObject);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
  if (fLock)
    ServerLock::Lock();
  else
    ServerLock::Unlock();
  return S_OK;
}

}  // namespace MarrowjetUI

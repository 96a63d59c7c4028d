// The component-object exports of a library that serves no classes: its table of classes is
// empty, so every class is refused and the library may always be unloaded.
#include "Module.h"
#include "Monitor.h"

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return Quorvane::ThisModule.LockCount() == 0 ? S_OK : S_FALSE; }

// Finding a class in the registry and creating its objects through its in-process server.
#include "Apartment.h"
#include "ClassKeys.h"
#include "ServerTable.h"

#include <windows.h>
#include <qv/utf.h>

namespace {

HRESULT ClassLookupFailure(LSTATUS status) {
  return status == ERROR_FILE_NOT_FOUND ? REGDB_E_CLASSNOTREG : REGDB_E_READREGDB;
}

// Asks a server for a class object; a server that fails or throws hands back nothing.
HRESULT AskServer(LPFNGETCLASSOBJECT entry, REFCLSID clsid, REFIID iid, LPVOID* object) {
  HRESULT result = E_UNEXPECTED;
  try {
    result = entry(clsid, iid, object);
  } catch (...) {
    result = E_UNEXPECTED;
  }
  if (SUCCEEDED(result) && !*object) result = E_UNEXPECTED;
  if (FAILED(result)) *object = nullptr;
  return result;
}

HRESULT CreateFromFactory(IClassFactory* factory, REFIID iid, LPVOID* object) {
  HRESULT result = E_UNEXPECTED;
  try {
    result = factory->CreateInstance(nullptr, iid, object);
  } catch (...) {
    result = E_UNEXPECTED;
  }
  if (SUCCEEDED(result) && !*object) result = E_UNEXPECTED;
  if (FAILED(result)) *object = nullptr;
  return result;
}

HRESULT GetClassObject(REFCLSID clsid, DWORD context, REFIID iid, LPVOID* object) {
  if (!qv::com::ApartmentEntered()) return CO_E_NOTINITIALIZED;
  if ((context & CLSCTX_ALL) == 0) return E_INVALIDARG;
  // Only in-process servers exist here: a class asked for in any other context alone is not
  // registered for it.
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  std::u16string serverKey =
      std::u16string(WSTR("CLSID\\")) + qv::com::GuidText(clsid) + WSTR("\\InprocServer32");
  std::u16string serverPath;
  LSTATUS status = qv::com::ReadKeyText(HKEY_CLASSES_ROOT, serverKey, nullptr, serverPath);
  if (status != ERROR_SUCCESS) return ClassLookupFailure(status);
  LPFNGETCLASSOBJECT entry = nullptr;
  HRESULT result = qv::com::ServerTable::Instance().ClassObjectEntry(qv::ToUtf8(serverPath), entry);
  if (FAILED(result)) return result;
  return AskServer(entry, clsid, iid, object);
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (!lpszProgID || !lpclsid) return E_INVALIDARG;
  try {
    std::u16string progId(lpszProgID);
    // A backslash would walk into another part of the class tree.
    if (progId.empty() || progId.find(u'\\') != std::u16string::npos) return CO_E_CLASSSTRING;
    std::u16string clsidText;
    LSTATUS status =
        qv::com::ReadKeyText(HKEY_CLASSES_ROOT, progId + WSTR("\\CLSID"), nullptr, clsidText);
    if (status == ERROR_FILE_NOT_FOUND) return CO_E_CLASSSTRING;
    if (status != ERROR_SUCCESS) return REGDB_E_READREGDB;
    return FAILED(CLSIDFromString(clsidText.c_str(), lpclsid)) ? CO_E_CLASSSTRING : S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid,
                                        LPVOID* ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  try {
    return GetClassObject(rclsid, dwClsContext, riid, ppv);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                        REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  IClassFactory* factory = nullptr;
  HRESULT result = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                    reinterpret_cast<LPVOID*>(&factory));
  if (FAILED(result)) return result;
  result = CreateFromFactory(factory, riid, ppv);
  factory->Release();
  return result;
}

// Objects here have nothing to start: every object is running once it exists.
HRESULT STDAPICALLTYPE OleRun(LPUNKNOWN pUnknown) { return pUnknown ? S_OK : E_INVALIDARG; }

}  // extern "C"

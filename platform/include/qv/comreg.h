// Self-registration helper for in-process servers: writes (or removes) the ProgID, CLSID and
// InprocServer32 entries of one class under HKEY_CLASSES_ROOT, naming the server by the absolute
// path of `module`, the library that holds the class.
#pragma once
#include <objbase.h>

extern "C" {
HRESULT STDAPICALLTYPE RegisterInprocServerClass(REFCLSID clsid, LPCWSTR progId,
                                                 LPCWSTR description, HMODULE module);
HRESULT STDAPICALLTYPE UnregisterInprocServerClass(REFCLSID clsid, LPCWSTR progId);
}

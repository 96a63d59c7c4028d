#include "CreateObject.h"

#include "win/ComPtr.h"

namespace Quorvane {

// In-process server and handler, local and remote server.
constexpr DWORD kAnyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                             CLSCTX_REMOTE_SERVER;
static_assert(kAnyServer == 0x17);

HRESULT CreateObjectByProgID(LPCOLESTR name, REFIID interfaceId, void** object) {
  *object = nullptr;
  if (!name) return E_INVALIDARG;
  CLSID classId;
  HRESULT result = name[0] == WCHAR('{') ? CLSIDFromString(name, &classId) : CLSIDFromProgID(name, &classId);
  if (FAILED(result)) return result;
  win::ComPtr<IUnknown> unknown;
  result = CoCreateInstance(classId, nullptr, kAnyServer, IID_IUnknown, unknown.Out());
  if (FAILED(result)) return result;
  result = OleRun(unknown.Get());
  if (FAILED(result)) return result;
  return unknown->QueryInterface(interfaceId, object);
}

}  // namespace Quorvane

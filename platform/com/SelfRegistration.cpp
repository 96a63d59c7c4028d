// Class entries an in-process server writes for itself from its DllRegisterServer:
//   HKCR\<ProgID>                    (default) description
//   HKCR\<ProgID>\CLSID              (default) {class id}
//   HKCR\CLSID\{class id}            (default) description
//   HKCR\CLSID\{class id}\ProgID     (default) ProgID
//   HKCR\CLSID\{class id}\InprocServer32   (default) absolute path of the server,
//                                          ThreadingModel "Apartment"
#include "ClassKeys.h"
#include "LibraryLoader.h"

#include <qv/comreg.h>
#include <windows.h>
#include <qv/utf.h>

#include <string_view>
#include <vector>

namespace {

bool ValidProgId(LPCWSTR progId) {
  if (!progId || !*progId) return false;
  return std::u16string_view(progId).find(u'\\') == std::u16string_view::npos;
}

HRESULT Register(REFCLSID clsid, LPCWSTR progId, LPCWSTR description, HMODULE module) {
  if (!module || (progId && !ValidProgId(progId))) return E_INVALIDARG;
  std::string path = qv::com::ModulePath(module);
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  const std::u16string text = description ? description : WSTR("");
  const std::u16string clsidText = qv::com::GuidText(clsid);
  const std::u16string classKey = std::u16string(WSTR("CLSID\\")) + clsidText;

  struct Entry {
    std::u16string key;
    const WCHAR* name;
    std::u16string value;
  };
  std::vector<Entry> entries = {
      {classKey, nullptr, text},
      {classKey + WSTR("\\InprocServer32"), nullptr, qv::ToUtf16(path)},
      {classKey + WSTR("\\InprocServer32"), WSTR("ThreadingModel"), WSTR("Apartment")},
  };
  if (progId) {
    entries.push_back({classKey + WSTR("\\ProgID"), nullptr, progId});
    entries.push_back({progId, nullptr, text});
    entries.push_back({std::u16string(progId) + WSTR("\\CLSID"), nullptr, clsidText});
  }
  for (const Entry& entry : entries) {
    LSTATUS status = qv::com::WriteKeyText(HKEY_CLASSES_ROOT, entry.key, entry.name, entry.value);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}

HRESULT Unregister(REFCLSID clsid, LPCWSTR progId) {
  if (progId && !ValidProgId(progId)) return E_INVALIDARG;
  const std::u16string clsidText = qv::com::GuidText(clsid);
  LSTATUS status =
      qv::com::DeleteKeyTree(HKEY_CLASSES_ROOT, std::u16string(WSTR("CLSID\\")) + clsidText);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  if (!progId) return S_OK;
  // A ProgID that another class has taken over since is that class's to remove.
  std::u16string current;
  status = qv::com::ReadKeyText(HKEY_CLASSES_ROOT, std::u16string(progId) + WSTR("\\CLSID"),
                                nullptr, current);
  CLSID currentClsid{};
  if (status == ERROR_SUCCESS && SUCCEEDED(CLSIDFromString(current.c_str(), &currentClsid)) &&
      currentClsid != clsid)
    return S_OK;
  status = qv::com::DeleteKeyTree(HKEY_CLASSES_ROOT, progId);
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE RegisterInprocServerClass(REFCLSID clsid, LPCWSTR progId,
                                                 LPCWSTR description, HMODULE module) {
  try {
    return Register(clsid, progId, description, module);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDAPICALLTYPE UnregisterInprocServerClass(REFCLSID clsid, LPCWSTR progId) {
  try {
    return Unregister(clsid, progId);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // extern "C"

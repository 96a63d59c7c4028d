// Type library registration, laid out as Windows lays it out:
//   HKCR\TypeLib\{guid}\<major>.<minor>             (default) help string, else name
//   HKCR\TypeLib\{guid}\<major>.<minor>\<lcid>\win32 (default) full path of the library
//   HKCR\TypeLib\{guid}\<major>.<minor>\FLAGS        (default) flags, decimal
//   HKCR\TypeLib\{guid}\<major>.<minor>\HELPDIR      (default) help folder
// Version and locale are lower-case hex without "0x"; "win32" is "win16", "mac" or "win64" for
// the other system kinds.
#include "ClassKeys.h"
#include "TypeLibrary.h"

#include <oleauto.h>
#include <win/UniqueResource.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::u16string Hex(unsigned long value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%lx", value);
  return std::u16string(buffer, buffer + std::char_traits<char>::length(buffer));
}

std::u16string Decimal(unsigned long value) {
  std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

std::u16string GuidKey(REFGUID guid) {
  return std::u16string(WSTR("TypeLib\\")) + qv::com::GuidText(guid);
}

std::u16string VersionKey(REFGUID guid, WORD major, WORD minor) {
  return GuidKey(guid) + WSTR("\\") + Hex(major) + WSTR(".") + Hex(minor);
}

// OLE strings a call handed out, freed when the owner goes away.
class OwnedBstr {
 public:
  OwnedBstr() = default;
  ~OwnedBstr() { SysFreeString(text_); }
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;
  BSTR* Receive() { return &text_; }
  std::u16string Text() const { return text_ ? std::u16string(text_, SysStringLen(text_)) : u""; }

 private:
  BSTR text_ = nullptr;
};

// The registered description: the library's help string, or its name when it has none.
std::u16string Description(ITypeLib* library) {
  OwnedBstr name, helpString;
  if (FAILED(library->GetDocumentation(-1, name.Receive(), helpString.Receive(), nullptr, nullptr)))
    return {};
  std::u16string text = helpString.Text();
  return text.empty() ? name.Text() : text;
}

HRESULT ReadAttributes(ITypeLib* library, TLIBATTR& attributes) {
  TLIBATTR* held = nullptr;
  HRESULT result = library->GetLibAttr(&held);
  if (FAILED(result)) return result;
  if (!held) return E_UNEXPECTED;
  attributes = *held;
  library->ReleaseTLibAttr(held);
  return S_OK;
}

HRESULT Register(ITypeLib* library, LPCOLESTR fullPath, LPCOLESTR helpDir) {
  TLIBATTR attributes{};
  HRESULT result = ReadAttributes(library, attributes);
  if (FAILED(result)) return result;
  const WCHAR* kind = qv::com::SystemKindName(static_cast<uint32_t>(attributes.syskind));
  if (!kind) return E_INVALIDARG;
  const std::u16string versionKey =
      VersionKey(attributes.guid, attributes.wMajorVerNum, attributes.wMinorVerNum);
  struct Entry {
    std::u16string key;
    std::u16string value;
  };
  const std::vector<Entry> entries = {
      {versionKey, Description(library)},
      {versionKey + WSTR("\\") + Hex(attributes.lcid) + WSTR("\\") + kind, fullPath},
      {versionKey + WSTR("\\FLAGS"), Decimal(attributes.wLibFlags)},
      {versionKey + WSTR("\\HELPDIR"), helpDir ? helpDir : WSTR("")},
  };
  for (const Entry& entry : entries)
    if (qv::com::WriteKeyText(HKEY_CLASSES_ROOT, entry.key, nullptr, entry.value) != ERROR_SUCCESS)
      return TYPE_E_REGISTRYACCESS;
  return S_OK;
}

bool SameName(const WCHAR* a, const WCHAR* b) {
  for (; *a && *b; ++a, ++b) {
    WCHAR x = *a >= u'a' && *a <= u'z' ? *a - (u'a' - u'A') : *a;
    WCHAR y = *b >= u'a' && *b <= u'z' ? *b - (u'a' - u'A') : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// Whether the key `path` has a subkey other than FLAGS and HELPDIR (when `settingsDontCount`):
// a registration for another locale or system kind that must stay.
LSTATUS HasRegistrations(const std::u16string& path, bool settingsDontCount, bool& found) {
  win::UniqueHKey key;
  LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Out());
  if (status != ERROR_SUCCESS) return status;
  found = false;
  for (DWORD index = 0;; ++index) {
    WCHAR child[256] = {};
    status = RegEnumKeyW(key.Get(), index, child, 256);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    if (settingsDontCount && (SameName(child, WSTR("FLAGS")) || SameName(child, WSTR("HELPDIR"))))
      continue;
    found = true;
    return ERROR_SUCCESS;
  }
}

// Deletes `path` when nothing is registered below it any more.
LSTATUS DeleteIfUnused(const std::u16string& path, bool settingsDontCount) {
  bool used = false;
  LSTATUS status = HasRegistrations(path, settingsDontCount, used);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS || used) return status;
  return qv::com::DeleteKeyTree(HKEY_CLASSES_ROOT, path);
}

HRESULT Unregister(REFGUID guid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
  const WCHAR* kind = qv::com::SystemKindName(static_cast<uint32_t>(syskind));
  if (!kind) return E_INVALIDARG;
  const std::u16string versionKey = VersionKey(guid, major, minor);
  const std::u16string localeKey = versionKey + WSTR("\\") + Hex(lcid);
  const std::u16string kindKey = localeKey + WSTR("\\") + kind;
  {
    win::UniqueHKey key;
    LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, kindKey.c_str(), 0, KEY_READ, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) return TYPE_E_LIBNOTREGISTERED;
    if (status != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  }
  // From the leaf up: each key goes when the one below was its last registration.
  if (qv::com::DeleteKeyTree(HKEY_CLASSES_ROOT, kindKey) != ERROR_SUCCESS ||
      DeleteIfUnused(localeKey, false) != ERROR_SUCCESS ||
      DeleteIfUnused(versionKey, true) != ERROR_SUCCESS ||
      DeleteIfUnused(GuidKey(guid), false) != ERROR_SUCCESS)
    return TYPE_E_REGISTRYACCESS;
  return S_OK;
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
  if (!ptlib || !szFullPath) return E_INVALIDARG;
  try {
    return Register(ptlib, szFullPath, szHelpDir);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDAPICALLTYPE UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                         SYSKIND syskind) {
  try {
    return Unregister(libID, wVerMajor, wVerMinor, lcid, syskind);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // extern "C"

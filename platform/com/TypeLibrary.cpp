#include "TypeLibrary.h"

#include <cstdint>
#include <cstring>
#include <new>

extern "C" const IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace qv::com {
namespace {

// Record strings come from another library: read at most this much of each, so that a string
// without its terminator can't run on through memory.
constexpr size_t kLongestRecordText = 32767;

bool CopyRecordText(LPCOLESTR text, std::u16string& copy) {
  copy.clear();
  if (!text) return true;
  for (size_t i = 0; i <= kLongestRecordText; ++i)
    if (text[i] == 0) {
      copy.assign(text, i);
      return true;
    }
  return false;
}

// Allocates each wanted string, all or none.
HRESULT AllocateStrings(const std::u16string& first, BSTR* firstOut, const std::u16string& second,
                        BSTR* secondOut) {
  BSTR a = firstOut ? SysAllocStringLen(first.data(), static_cast<UINT>(first.size())) : nullptr;
  BSTR b = secondOut ? SysAllocStringLen(second.data(), static_cast<UINT>(second.size())) : nullptr;
  if ((firstOut && !a) || (secondOut && !b)) {
    SysFreeString(a);
    SysFreeString(b);
    return E_OUTOFMEMORY;
  }
  if (firstOut) *firstOut = a;
  if (secondOut) *secondOut = b;
  return S_OK;
}

}  // namespace

const WCHAR* SystemKindName(uint32_t kind) {
  switch (kind) {
    case SYS_WIN16: return WSTR("win16");
    case SYS_WIN32: return WSTR("win32");
    case SYS_MAC: return WSTR("mac");
    case SYS_WIN64: return WSTR("win64");
  }
  return nullptr;
}

std::optional<TypeLibraryData> DataOfRecord(const TYPELIBRECORD& record) {
  if (record.cbSize < sizeof(TYPELIBRECORD)) return std::nullopt;
  // Another library wrote the record: take its system kind as a number before trusting it to
  // be one of the enumeration's values.
  static_assert(sizeof(SYSKIND) == sizeof(uint32_t));
  uint32_t kind = 0;
  std::memcpy(&kind, &record.syskind, sizeof kind);
  if (!SystemKindName(kind)) return std::nullopt;
  TypeLibraryData data;
  data.attributes.guid = record.guid;
  data.attributes.lcid = record.lcid;
  data.attributes.syskind = static_cast<SYSKIND>(kind);
  data.attributes.wMajorVerNum = record.wMajorVerNum;
  data.attributes.wMinorVerNum = record.wMinorVerNum;
  data.attributes.wLibFlags = record.wLibFlags;
  if (!CopyRecordText(record.name, data.name) ||
      !CopyRecordText(record.helpString, data.helpString))
    return std::nullopt;
  return data;
}

ITypeLib* TypeLibrary::Create(TypeLibraryData data) {
  return new (std::nothrow) TypeLibrary(std::move(data));
}

HRESULT TypeLibrary::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_ITypeLib) {
    *object = static_cast<ITypeLib*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TypeLibrary::AddRef() { return ++references_; }

ULONG TypeLibrary::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

// The library describes no types: every index and identifier is out of range.
UINT TypeLibrary::GetTypeInfoCount() { return 0; }

HRESULT TypeLibrary::GetTypeInfo(UINT, ITypeInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibrary::GetTypeInfoType(UINT, TYPEKIND* kind) {
  return kind ? TYPE_E_ELEMENTNOTFOUND : E_INVALIDARG;
}

HRESULT TypeLibrary::GetTypeInfoOfGuid(REFGUID, ITypeInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibrary::GetLibAttr(TLIBATTR** attributes) {
  if (!attributes) return E_INVALIDARG;
  *attributes = new (std::nothrow) TLIBATTR(data_.attributes);
  return *attributes ? S_OK : E_OUTOFMEMORY;
}

HRESULT TypeLibrary::GetTypeComp(ITypeComp** comp) {
  if (comp) *comp = nullptr;
  return E_NOTIMPL;
}

HRESULT TypeLibrary::GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                      BSTR* helpFile) {
  if (index != -1) return TYPE_E_ELEMENTNOTFOUND;
  HRESULT result = AllocateStrings(data_.name, name, data_.helpString, docString);
  if (FAILED(result)) return result;
  if (helpContext) *helpContext = 0;
  if (helpFile) *helpFile = nullptr;
  return S_OK;
}

HRESULT TypeLibrary::IsName(LPOLESTR, ULONG, BOOL* found) {
  if (found) *found = FALSE;
  return E_NOTIMPL;
}

HRESULT TypeLibrary::FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT* found) {
  if (found) *found = 0;
  return E_NOTIMPL;
}

void TypeLibrary::ReleaseTLibAttr(TLIBATTR* attributes) { delete attributes; }

}  // namespace qv::com

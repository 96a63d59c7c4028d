// A loaded type library: its own copy of the attributes, name and help string, so that it
// outlives the library or file it was read from.
#pragma once
#include <oleauto.h>
#include <qv/typelib_record.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace qv::com {

struct TypeLibraryData {
  TLIBATTR attributes{};
  std::u16string name;
  std::u16string helpString;
};

// The text a system kind is registered under ("win32"), or null for a kind that doesn't exist.
const WCHAR* SystemKindName(uint32_t kind);
// A record's contents, or nothing when the record is too small or its system kind unknown.
std::optional<TypeLibraryData> DataOfRecord(const TYPELIBRECORD& record);

class TypeLibrary final : public ITypeLib {
 public:
  // A new library with one reference, or null when out of memory.
  static ITypeLib* Create(TypeLibraryData data);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  UINT STDMETHODCALLTYPE GetTypeInfoCount() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attributes) override;
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** comp) override;
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* docString,
                                             DWORD* helpContext, BSTR* helpFile) override;
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR nameBuffer, ULONG hash, BOOL* found) override;
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR nameBuffer, ULONG hash, ITypeInfo** infos,
                                     MEMBERID* members, USHORT* found) override;
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attributes) override;

 private:
  explicit TypeLibrary(TypeLibraryData data) : data_(std::move(data)) {}
  ~TypeLibrary() = default;

  std::atomic<ULONG> references_{1};
  const TypeLibraryData data_;
};

}  // namespace qv::com

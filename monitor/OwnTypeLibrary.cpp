#include "OwnTypeLibrary.h"

#include "Module.h"
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

namespace {

constexpr WCHAR kSeparators[] = WSTR("\\/:");

using UnRegisterTypeLibFunction = HRESULT(STDAPICALLTYPE*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// A library loaded by name for as long as the object lives.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(LPCWSTR name) : module_(LoadLibraryW(name)) {}
  ~LoadedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  FARPROC Procedure(LPCSTR name) const { return module_ ? GetProcAddress(module_, name) : nullptr; }

 private:
  HMODULE module_;
};

// A type library's attributes, handed back when the object goes.
class LibraryAttributes {
 public:
  explicit LibraryAttributes(ITypeLib* library) : library_(library) {
    if (FAILED(library_->GetLibAttr(&attributes_))) attributes_ = nullptr;
  }
  ~LibraryAttributes() {
    if (attributes_) library_->ReleaseTLibAttr(attributes_);
  }
  LibraryAttributes(const LibraryAttributes&) = delete;
  LibraryAttributes& operator=(const LibraryAttributes&) = delete;

  const TLIBATTR* Get() const { return attributes_; }

 private:
  ITypeLib* library_;
  TLIBATTR* attributes_ = nullptr;
};

// The full path of the monitor library's own file.
HRESULT OwnPath(win::WideString& path) {
  if (!ThisModule.Instance()) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  WCHAR buffer[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(ThisModule.Instance(), buffer, MAX_PATH);
  if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
  // A path cut short names some other file.
  if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  path.assign(buffer, length);
  return S_OK;
}

}  // namespace

win::WideString OwnTypeLibrary::TypeLibraryFileBeside(const win::WideString& path) {
  const size_t folder = path.find_last_of(kSeparators);
  const size_t dot = path.rfind(WCHAR('.'));
  // Only a dot in the file's own name starts its extension.
  const bool hasExtension = dot != win::WideString::npos && (folder == win::WideString::npos || dot > folder);
  return (hasExtension ? path.substr(0, dot) : path) + WSTR(".tlb");
}

win::WideString OwnTypeLibrary::FolderOf(const win::WideString& path) {
  const size_t folder = path.find_last_of(kSeparators);
  return folder == win::WideString::npos ? win::WideString() : path.substr(0, folder + 1);
}

HRESULT OwnTypeLibrary::Load() {
  library_.Reset();
  win::WideString path;
  HRESULT result = OwnPath(path);
  if (FAILED(result)) return result;
  result = LoadTypeLib(path.c_str(), library_.OutInterface());
  if (FAILED(result)) {
    path = TypeLibraryFileBeside(path);
    result = LoadTypeLib(path.c_str(), library_.OutInterface());
    if (FAILED(result)) return result;
  }
  path_ = path;
  return S_OK;
}

HRESULT OwnTypeLibrary::Register() const {
  if (!library_) return E_UNEXPECTED;
  // Copies: some Windows headers declare the two paths as writable strings.
  win::WideString path = path_;
  win::WideString folder = FolderOf(path_);
  return RegisterTypeLib(library_.Get(), path.data(), folder.data());
}

void OwnTypeLibrary::Unregister() const {
  if (!library_) return;
  const LibraryAttributes attributes(library_.Get());
  if (!attributes.Get()) return;
  const LoadedLibrary automation(WSTR("oleaut32.dll"));
  const auto unregister = reinterpret_cast<UnRegisterTypeLibFunction>(
      reinterpret_cast<void*>(automation.Procedure("UnRegisterTypeLib")));
  if (!unregister) return;
  const TLIBATTR& attribute = *attributes.Get();
  unregister(attribute.guid, attribute.wMajorVerNum, attribute.wMinorVerNum, attribute.lcid, attribute.syskind);
}

}  // namespace Quorvane

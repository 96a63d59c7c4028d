// LoadTypeLib: a type library is read from the record a library exports (oleauto.h) or from a
// type library file. Which one a file is, its first bytes tell, not its name.
#include "LibraryLoader.h"
#include "TypeLibrary.h"
#include "TypeLibraryFile.h"

#include <qv/paths.h>
#include <qv/prefix.h>
#include <qv/utf.h>

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

using qv::com::TypeLibraryData;

// Closes a library opened only to read its record: the record is copied first.
class LibraryReference {
 public:
  explicit LibraryReference(void* handle) : handle_(handle) {}
  ~LibraryReference() {
    if (handle_) dlclose(handle_);
  }
  LibraryReference(const LibraryReference&) = delete;
  LibraryReference& operator=(const LibraryReference&) = delete;

 private:
  void* handle_;
};

// The exported name must be data at least as large as a record, not a function or a smaller
// object that happens to carry the name.
bool IsRecordSized(void* symbol) {
  Dl_info info{};
  ElfW(Sym)* entry = nullptr;
  if (!dladdr1(symbol, &info, reinterpret_cast<void**>(&entry), RTLD_DL_SYMENT) || !entry)
    return false;
  return ELF64_ST_TYPE(entry->st_info) == STT_OBJECT && entry->st_size >= sizeof(TYPELIBRECORD);
}

std::optional<TypeLibraryData> RecordOfLibrary(const std::string& name) {
  qv::com::OpenedLibrary library = qv::com::OpenLibrary(name, RTLD_NOW | RTLD_LOCAL);
  if (!library.handle) return std::nullopt;
  LibraryReference reference(library.handle);
  void* symbol = qv::com::LibrarySymbol(library.handle, TYPELIBRECORD_SYMBOL);
  if (!symbol || !IsRecordSized(symbol)) return std::nullopt;
  return qv::com::DataOfRecord(*static_cast<const TYPELIBRECORD*>(symbol));
}

bool IsSharedLibrary(const std::string& hostPath) {
  std::ifstream file(hostPath, std::ios::binary);
  char magic[4] = {};
  return file.read(magic, sizeof magic) && std::memcmp(magic, "\x7F" "ELF", 4) == 0;
}

std::optional<TypeLibraryData> ReadHostFile(const std::string& hostPath) {
  return IsSharedLibrary(hostPath) ? RecordOfLibrary(hostPath)
                                   : qv::com::ReadTypeLibraryFile(hostPath);
}

std::optional<TypeLibraryData> Read(const std::string& name) {
  if (name.empty()) return std::nullopt;
  if (name.find_first_of("/\\:") == std::string::npos) {
    // A bare name: a type library file in the platform's library folder, or a library found
    // as LoadLibrary finds it.
    const std::string local = qv::LibraryDir() + "/" + name;
    std::error_code ignored;
    if (std::filesystem::is_regular_file(local, ignored) && !IsSharedLibrary(local))
      return qv::com::ReadTypeLibraryFile(local);
    return RecordOfLibrary(name);
  }
  std::string hostPath;
  if (qv::MapWindowsPath(name, hostPath) != 0) return std::nullopt;
  return ReadHostFile(hostPath);
}

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
  if (!pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  if (!szFile) return E_INVALIDARG;
  try {
    std::optional<TypeLibraryData> data = Read(qv::ToUtf8(szFile));
    if (!data) return TYPE_E_CANTLOADLIBRARY;
    *pptlib = qv::com::TypeLibrary::Create(std::move(*data));
    return *pptlib ? S_OK : E_OUTOFMEMORY;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // extern "C"

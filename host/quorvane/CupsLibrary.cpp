#include "CupsLibrary.h"
#include "Command.h"

#include <qv/prefix.h>

#include <dlfcn.h>

#include <memory>

namespace qv::cli {
namespace {

// A library opened with dlopen, closed again with the object. RTLD_NODELETE keeps its code
// mapped after the close: the print system it made serves the process to its very end.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::string& path)
      : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {}
  ~LoadedLibrary() {
    if (handle_) dlclose(handle_);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  void* Symbol(const char* name) const { return dlsym(handle_, name); }

 private:
  void* handle_;
};

std::unique_ptr<LoadedLibrary>& Library() {
  static std::unique_ptr<LoadedLibrary> library;
  return library;
}

const cups::EntryPoints* entryPoints = nullptr;

[[noreturn]] void CannotLoad(const std::string& path, std::string reason) {
  // The loader's text starts with the file's name, which the message gives already.
  if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
  throw Failure("cannot load the CUPS print system (" + path + "): " + reason);
}

}  // namespace

std::string CupsLibraryPath() { return qv::LibraryDir() + "/" + QV_CUPS_LIBRARY; }

const cups::EntryPoints& Cups() {
  if (entryPoints) return *entryPoints;
  const std::string path = CupsLibraryPath();
  dlerror();
  auto library = std::make_unique<LoadedLibrary>(path);
  if (!library->Loaded()) {
    const char* reason = dlerror();
    CannotLoad(path, reason ? reason : "unknown reason");
  }
  auto table = reinterpret_cast<const cups::EntryPoints& (*)()>(library->Symbol(cups::kEntryPointsSymbol));
  if (!table) {
    const char* reason = dlerror();
    CannotLoad(path, reason ? reason : std::string("no ") + cups::kEntryPointsSymbol);
  }
  const cups::EntryPoints& found = table();
  if (found.size != sizeof(cups::EntryPoints)) CannotLoad(path, "it was built for another version of quorvane");
  Library() = std::move(library);
  entryPoints = &found;
  return found;
}

}  // namespace qv::cli

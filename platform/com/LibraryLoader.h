// Finding and opening libraries by the names Windows callers give them, and the module handles
// (HMODULE) that stand for them: a module's handle is the address it was loaded at, as on
// Windows, so a handle found from an address and one returned by a load are the same value.
#pragma once
#include <windef.h>

#include <string>

namespace qv::com {

struct OpenedLibrary {
  void* handle = nullptr;  // from dlopen; null when the library could not be opened
  bool missing = false;    // no file was found under any name tried
};

// Opens a library with dlopen `flags`. An absolute host path is used as it is; a relative one
// is refused, since it would depend on the working directory. A bare file name is looked for
// in the platform's library folder, as given and, for a Windows name such as "QVPM.DLL", as
// "libqvpm.so"; then through the system's own search. A Windows path with backslashes cannot
// name a host file and is reported missing. The Windows system libraries ("oleaut32.dll",
// "kernel32.dll", "winspool.drv", ... in any case) are the platform library itself, which is
// never unloaded.
OpenedLibrary OpenLibrary(const std::string& name, int flags);

// The module a dlopen handle stands for.
HMODULE ModuleOfHandle(void* handle);
// The module that holds `address`, or null when no loaded module holds it.
HMODULE ModuleContaining(const void* address);
// The program's own module.
HMODULE ProgramModule();
// The absolute path of a loaded module (null: the program), empty when `module` is not the
// handle of a loaded module.
std::string ModulePath(HMODULE module);
// Looks a symbol up in `module` itself, not in the libraries it depends on.
void* ModuleSymbol(HMODULE module, const char* name);
// The same, for a library opened by OpenLibrary.
void* LibrarySymbol(void* handle, const char* name);

}  // namespace qv::com

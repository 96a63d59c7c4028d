// The CUPS print system's library (libqvcups, and with it libcups and the ~30 libraries that
// pulls in), loaded from the platform's library folder the first time a command acts on CUPS.
// Commands on the embedded print system never load it, and start that much faster.
#pragma once
#include <qv/cups.h>

#include <string>

namespace qv::cli {

// The library's functions, loading it on the first call. Throws Failure("cannot load the CUPS
// print system (<file>): <the loader's reason>") when it can't be loaded or is of another build.
const cups::EntryPoints& Cups();
// The file Cups() loads: libqvcups in the platform's library folder.
std::string CupsLibraryPath();
}  // namespace qv::cli

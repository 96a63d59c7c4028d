#include "Module.h"

namespace Quorvane {

Module ThisModule;

Module::Module() {
  // Any address inside the library names it; the library is not held by this.
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(this), &instance_);
}

// Nothing to release: the module handle was taken without a reference.
Module::~Module() = default;

}  // namespace Quorvane

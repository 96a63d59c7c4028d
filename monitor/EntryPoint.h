// Runs the body of an entry point so that no exception reaches the spooler: running out of
// memory is FALSE with ERROR_NOT_ENOUGH_MEMORY, anything else FALSE with ERROR_GEN_FAILURE.
#pragma once
#include <windows.h>

#include <new>

namespace Quorvane {

template <class Body>
BOOL RunEntryPoint(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(ERROR_GEN_FAILURE);
  }
  return FALSE;
}

}  // namespace Quorvane

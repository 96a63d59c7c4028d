// Runs the body of an entry point so that no exception reaches the spooler: running out of
// memory is FALSE with ERROR_NOT_ENOUGH_MEMORY, anything else FALSE with ERROR_GEN_FAILURE.
#pragma once
#include <windows.h>

#include "win/ExceptionBarrier.h"

namespace Quorvane {

template <class Body>
BOOL RunEntryPoint(Body&& body) noexcept {
  return win::ExceptionBarrier(body, [](bool outOfMemory) -> BOOL {
    SetLastError(outOfMemory ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE);
    return FALSE;
  });
}

}  // namespace Quorvane

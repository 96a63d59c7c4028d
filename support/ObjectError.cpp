#include "ObjectError.h"

#include <new>

#include "modError.h"
#include "win/ExceptionBarrier.h"

#include <qv/macros.h>

namespace MarrowjetUI {

void RaiseError(LONG number, TextView description) { throw ObjectError(number, Text(description)); }

void RaiseSystemError(LONG status) { throw ObjectError(status, MessageText(status)); }

CaughtError DescribeCaughtError() noexcept {
  return win::ExceptionBarrier(
      []() -> CaughtError {
        try {
          throw;
        } catch (const ObjectError& error) {
          return {error.Number(), error.Description()};
        } catch (const std::bad_alloc&) {
          return {kErrorOutOfMemory, WSTR("Out of memory")};
        } catch (const std::exception& error) {
          return {kErrorInternal, WSTR("Internal error: ") + FromCodePage(error.what())};
        } catch (...) {
          return {kErrorInternal, WSTR("Internal error")};
        }
      },
      // Copying the description itself ran out of memory: report the number alone.
      [](bool) { return CaughtError{kErrorOutOfMemory, Text()}; });
}

}  // namespace MarrowjetUI

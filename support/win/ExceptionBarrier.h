// The one way an exported entry point, a vtable call or a callback keeps exceptions inside:
// the body's result, or the fallback's answer to the exception that ended the body. Out of
// memory is told apart, since most callers report it with its own code.
#pragma once
#include <new>

namespace win {

// `fallback(bool outOfMemory)` must not throw; its result is returned in place of the body's.
template <class Body, class Fallback>
auto ExceptionBarrier(Body&& body, Fallback&& fallback) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return fallback(true);
  } catch (...) {
    return fallback(false);
  }
}

}  // namespace win

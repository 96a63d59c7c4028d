// A critical section is a recursive mutex of this process, built in the caller's opaque storage.
#include <winbase.h>

#include <exception>
#include <mutex>
#include <new>

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque),
              "CRITICAL_SECTION is too small for the mutex it holds");
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION),
              "CRITICAL_SECTION is not aligned for the mutex it holds");

static std::recursive_mutex& MutexIn(LPCRITICAL_SECTION section) {
  return *std::launder(reinterpret_cast<std::recursive_mutex*>(section->opaque));
}

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  new (lpCriticalSection->opaque) std::recursive_mutex();
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  // Locking fails only when the system is out of resources; Windows raises then too.
  try {
    MutexIn(lpCriticalSection).lock();
  } catch (...) {
    std::terminate();
  }
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  MutexIn(lpCriticalSection).unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  MutexIn(lpCriticalSection).~recursive_mutex();
}

}  // extern "C"

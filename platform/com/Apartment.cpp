// Apartments: a per-thread count of CoInitialize calls, and the task allocator.
#include "Apartment.h"

#include <objbase.h>

#include <atomic>
#include <cstdlib>

namespace {

// Threads holding the multithreaded apartment open.
std::atomic<long> multithreadedThreads{0};

struct ThreadApartment {
  unsigned long count = 0;
  bool multithreaded = false;
  // A thread that ends without leaving the multithreaded apartment no longer holds it open.
  ~ThreadApartment() {
    if (count > 0 && multithreaded) --multithreadedThreads;
  }
};

thread_local ThreadApartment apartment;

}  // namespace

namespace qv::com {

bool ApartmentEntered() { return apartment.count > 0 || multithreadedThreads.load() > 0; }

}  // namespace qv::com

extern "C" {

HRESULT STDAPICALLTYPE CoInitialize(LPVOID) {
  return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved) return E_INVALIDARG;
  const bool multithreaded = (dwCoInit & COINIT_APARTMENTTHREADED) == 0;
  if (apartment.count > 0) {
    // A thread stays in the kind of apartment it entered first.
    if (apartment.multithreaded != multithreaded) return RPC_E_CHANGED_MODE;
    ++apartment.count;
    return S_FALSE;
  }
  apartment.count = 1;
  apartment.multithreaded = multithreaded;
  if (multithreaded) ++multithreadedThreads;
  return S_OK;
}

void STDAPICALLTYPE CoUninitialize(void) {
  if (apartment.count == 0) return;
  if (--apartment.count == 0 && apartment.multithreaded) --multithreadedThreads;
}

LPVOID STDAPICALLTYPE CoTaskMemAlloc(size_t cb) { return std::malloc(cb ? cb : 1); }

void STDAPICALLTYPE CoTaskMemFree(LPVOID pv) { std::free(pv); }

}  // extern "C"

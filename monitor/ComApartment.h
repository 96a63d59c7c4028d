// A single-threaded apartment on the calling thread for as long as the object lives.
#pragma once
#include <windows.h>

namespace Quorvane {

class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

}  // namespace Quorvane

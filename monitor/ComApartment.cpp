#include "ComApartment.h"

namespace Quorvane {

// Whatever CoInitialize answered (even "already initialised"), it counted one entry that
// CoUninitialize must balance.
ComApartment::ComApartment() { CoInitialize(nullptr); }

ComApartment::~ComApartment() { CoUninitialize(); }

}  // namespace Quorvane

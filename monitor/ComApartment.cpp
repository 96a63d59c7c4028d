#include "ComApartment.h"

// Whatever CoInitialize answered (even "already initialised"), it counted one entry that
// CoUninitialize must balance.
ComApartment::ComApartment() { CoInitialize(nullptr); }

ComApartment::~ComApartment() { CoUninitialize(); }

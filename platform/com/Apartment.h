// The calling thread's apartment, as creation needs to know it.
#pragma once

namespace qv::com {

// True when the calling thread may create objects: it has entered an apartment, or some thread
// of the process holds the multithreaded apartment open (which every thread then shares).
bool ApartmentEntered();

}  // namespace qv::com

// Creates a component object by ProgID (or by "{...}" class identifier) the way a script host
// does: any server kind, created for IUnknown, put into the running state, then asked for the
// wanted interface.
#pragma once
#include <windows.h>

namespace Quorvane {

// Returns the first failure met, or S_OK with a reference in *object.
HRESULT CreateObjectByProgID(LPCOLESTR name, REFIID interfaceId, void** object);

}  // namespace Quorvane

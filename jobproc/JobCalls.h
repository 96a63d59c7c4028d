// Calls the actions make on the job record they are handed, through its interface.
#pragma once
#include <MarrowjetInterfaces.h>

#include "Text.h"

namespace MarrowjetUI {

// The present local date and time in whole seconds: the moment a script or an action expands
// its templates for. Raises when the clock gives no valid date.
DATE PresentDate();

// The template with the job's field codes expanded for `dateNow`. Raises on a failed call.
Text ConvertTemplate(_Job* job, TextView source, DATE dateNow);

}  // namespace MarrowjetUI

// Calls the actions make on the job record they are handed, through its interface.
#pragma once
#include <MarrowjetInterfaces.h>

#include "Text.h"

namespace MarrowjetUI {

// The template with the job's field codes expanded for `dateNow`. Raises on a failed call.
Text ConvertTemplate(_Job* job, TextView source, DATE dateNow);

}  // namespace MarrowjetUI

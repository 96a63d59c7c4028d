#include "StatusText.h"

#include "Command.h"

namespace qv::cli {

void FailWithStatus(const std::string& what, DWORD status) { throw Failure(what + ": " + StatusText(status)); }

}  // namespace qv::cli

// Standard C++ on Windows types only: the Linux header serves a Windows build as it stands.
#pragma once
#include "../../../platform/include/qv/contained_files.h"

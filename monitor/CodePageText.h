// Wide text in the system's 8-bit code page, for the log file and standard output.
#pragma once
#include <windows.h>

#include <string>

std::string CodePageText(const std::u16string& text);

// The log file of the configuration key, as tests set it up and read it back.
#pragma once
#include <windows.h>

#include <string>

// Sets "LogFile" of HKLM\SOFTWARE\Drennic\Quorvane to `path` (UTF-8) with the given value type;
// the string types are stored with their terminator, other types without.
void SetLogFile(const std::string& path, DWORD type = REG_SZ);

// The file's whole content, empty when it does not exist.
std::string ReadFileText(const std::string& path);

// The backend's lines on standard error, as the scheduler reads them: "ERROR: ...",
// "WARNING: ...", "INFO: ...", "DEBUG: ...", one message a line.
#pragma once
#include <string>

namespace qv::backend {

void Say(const char* level, const std::string& text);
inline void Error(const std::string& text) { Say("ERROR", text); }
inline void Info(const std::string& text) { Say("INFO", text); }
inline void Debug(const std::string& text) { Say("DEBUG", text); }

}  // namespace qv::backend

// The prefix: the one folder that holds all machine state (registry.db, drive_c/, spool/,
// monitor.lock), like a small Windows installation. Linux-side only: hosts and tests use it.
#pragma once
#include <string>

namespace qv {

// The prefix in use: the override if set, else QUORVANE_PREFIX, else /var/lib/quorvane for root
// and ~/.local/share/quorvane for other users. Created on first use, with its default content.
std::string PrefixDir();

// The prefix PrefixDir would use, without creating anything (to tell whether it holds an
// installation at all).
std::string ChosenPrefixDir();

// Makes every later call use `dir` as the prefix (the command's --prefix, and tests). Drops any
// state the platform holds for the earlier prefix, such as the open registry store. An empty
// `dir` returns to the environment's choice.
void SetPrefixOverride(const std::string& dir);

// The folder the platform library itself was loaded from; server and monitor libraries named
// by Windows file names are looked for here.
std::string LibraryDir();

}  // namespace qv

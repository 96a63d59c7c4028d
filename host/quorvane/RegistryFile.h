// .reg files in the REGEDIT5 text format ("Windows Registry Editor Version 5.00"), written
// in UTF-8; files saved by Windows in UTF-16 are read too.
#pragma once
#include "RegistryKey.h"
#include "RegistryPath.h"

#include <string>
#include <vector>

namespace qv::cli {

// The file's text for the key at `path` and everything below it.
LSTATUS ExportTree(const RegistryPath& path, std::string& text);

// One change a file asks for, in file order.
struct RegistryChange {
  enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue } kind;
  RegistryPath key;
  RegistryValue value;  // for kSetValue and kDeleteValue
  int line = 0;
};

// Reads a whole file before anything is changed, so a bad file changes nothing. Throws
// Failure("<fileName>:<line>: <problem>") on the first bad line.
std::vector<RegistryChange> ParseRegistryFile(const std::string& content, const std::string& fileName);

// Makes one change. Deleting what is not there succeeds: the file's aim is already met.
LSTATUS ApplyRegistryChange(const RegistryChange& change);

}  // namespace qv::cli

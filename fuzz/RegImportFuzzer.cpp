// .reg files as `quorvane reg import` reads them, imported into a registry of their own; each
// change, once made, must be found in the registry. A file that imports is exported (both
// roots), the export imported into another fresh registry and exported again: both exports
// must be the same text, so nothing an import can store is lost or changed by an export.
#include "FuzzSupport.h"

#include <TempPrefix.h>

#include "Command.h"
#include "RegistryFile.h"
#include "RegistryKey.h"

namespace {

using qv::cli::RegistryChange;

// After a change was made, the registry holds what it asked for.
void CheckMade(const RegistryChange& change) {
  qv::cli::RegistryKey key;
  const LSTATUS opened = key.Open(change.key.root, change.key.Sub());
  const std::string where = "line " + std::to_string(change.line) + " " + change.key.Text();
  switch (change.kind) {
    case RegistryChange::kCreateKey:
      FUZZ_CHECK(opened == ERROR_SUCCESS, where + ": the key was not created");
      break;
    case RegistryChange::kDeleteKey:
      FUZZ_CHECK(opened == ERROR_FILE_NOT_FOUND, where + ": the key is still there");
      break;
    case RegistryChange::kSetValue: {
      qv::cli::RegistryValue stored;
      FUZZ_CHECK(opened == ERROR_SUCCESS && key.Query(change.value.name, stored) == ERROR_SUCCESS,
                 where + ": the value was not stored");
      FUZZ_CHECK(stored.type == change.value.type && stored.data == change.value.data,
                 where + ": the value was stored as another");
      break;
    }
    case RegistryChange::kDeleteValue: {
      qv::cli::RegistryValue stored;
      FUZZ_CHECK(opened != ERROR_SUCCESS || key.Query(change.value.name, stored) == ERROR_FILE_NOT_FOUND,
                 where + ": the value is still there");
      break;
    }
  }
}

// Reads and applies a whole file, checking each change once made; false when the file is
// refused or a change fails, with the reason in `problem`.
bool Import(const std::string& content, std::string& problem) {
  std::vector<RegistryChange> changes;
  try {
    changes = qv::cli::ParseRegistryFile(content, "fuzz.reg");
  } catch (const qv::cli::Failure& failure) {
    problem = failure.what();
    return false;
  }
  for (const RegistryChange& change : changes) {
    if (LSTATUS status = qv::cli::ApplyRegistryChange(change)) {
      problem = "line " + std::to_string(change.line) + " " + change.key.Text() + ": status " + std::to_string(status);
      return false;
    }
    CheckMade(change);
  }
  return true;
}

// One export file for each root.
std::vector<std::string> ExportAll() {
  std::vector<std::string> files;
  for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT"}) {
    qv::cli::RegistryPath path;
    std::string problem;
    FUZZ_CHECK(qv::cli::ParseRegistryPath(root, path, problem), problem);
    std::string text;
    const LSTATUS status = qv::cli::ExportTree(path, text);
    FUZZ_CHECK(status == ERROR_SUCCESS, std::string(root) + ": status " + std::to_string(status));
    files.push_back(std::move(text));
  }
  return files;
}

std::string Joined(const std::vector<std::string>& files) {
  std::string text;
  for (const std::string& file : files) text += file;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> exported;
  {
    qv::testing::TempPrefix registry;
    std::string problem;
    if (!Import(content, problem)) return 0;
    exported = ExportAll();
  }
  std::vector<std::string> again;
  {
    qv::testing::TempPrefix registry;
    for (const std::string& file : exported) {
      std::string problem;
      FUZZ_CHECK(Import(file, problem), "the export does not import: " + problem + "\n" + file);
    }
    again = ExportAll();
  }
  FUZZ_CHECK(again == exported, "first export:\n" + Joined(exported) + "\nsecond export:\n" + Joined(again));
  return 0;
}

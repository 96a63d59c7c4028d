// .reg files as `quorvane reg import` reads them, imported into a registry of their own. A file
// that imports is exported (both roots), the export imported into another fresh registry and
// exported again: both exports must be the same text, so nothing an import can store is lost
// or changed by an export.
#include "FuzzSupport.h"

#include <TempPrefix.h>

#include "Command.h"
#include "RegistryFile.h"

namespace {

using qv::cli::RegistryChange;

// Reads and applies a whole file; false when the file is refused or a change fails, with the
// reason in `problem`.
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
  }
  return true;
}

std::string ExportAll() {
  std::string all;
  for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT"}) {
    qv::cli::RegistryPath path;
    std::string problem;
    FUZZ_CHECK(qv::cli::ParseRegistryPath(root, path, problem), problem);
    std::string text;
    const LSTATUS status = qv::cli::ExportTree(path, text);
    FUZZ_CHECK(status == ERROR_SUCCESS, std::string(root) + ": status " + std::to_string(status));
    all += text;
  }
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  std::string exported;
  {
    qv::testing::TempPrefix registry;
    std::string problem;
    if (!Import(content, problem)) return 0;
    exported = ExportAll();
  }
  std::string again;
  {
    qv::testing::TempPrefix registry;
    std::string problem;
    // Each root's export is a file of its own: the second starts with the header again.
    const size_t second = exported.find("Windows Registry Editor Version 5.00", 1);
    FUZZ_CHECK(Import(exported.substr(0, second), problem) && Import(exported.substr(second), problem),
               "the export does not import: " + problem + "\n" + exported);
    again = ExportAll();
  }
  FUZZ_CHECK(again == exported, "first export:\n" + exported + "\nsecond export:\n" + again);
  return 0;
}

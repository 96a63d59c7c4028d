// Each shipped library exports exactly what it means to: the dynamic symbol table of the built
// library, as `nm -D --defined-only` lists it, holds nothing else. A stray export (a template
// instantiation of the standard library, an internal class) would tie callers to internals and
// make two copies of one thing meet at run time.
#include <TempPrefix.h>

#include <gtest/gtest.h>

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

// Defined dynamic symbols of a library, as nm prints them (mangled).
std::vector<std::string> DefinedExports(const std::string& library) {
  std::vector<std::string> names;
  const std::string command = "nm -D --defined-only '" + library + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return names;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe.get())) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    // "<address> <type> <name>"; the name is the last field.
    const size_t space = text.rfind(' ');
    names.push_back(space == std::string::npos ? text : text.substr(space + 1));
  }
  return names;
}

std::string Demangled(const std::string& name) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> text(abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status),
                                              std::free);
  return status == 0 && text ? std::string(text.get()) : name;
}

// The plain C names of a version script's global list (its extern "C++" block is not read).
std::set<std::string> CNamesOf(const std::string& script) {
  std::ifstream in(script);
  std::set<std::string> names;
  std::string line;
  bool global = false;
  const std::regex plainName(R"(^\s*([A-Za-z_][A-Za-z0-9_]*);\s*$)");
  while (std::getline(in, line)) {
    if (line.find("global:") != std::string::npos) global = true;
    if (line.find("extern \"C++\"") != std::string::npos || line.find("local:") != std::string::npos)
      global = false;
    std::smatch match;
    if (global && std::regex_match(line, match, plainName)) names.insert(match[1]);
  }
  return names;
}

// The qv namespace, and QvForms, the forms API the dialogs are written against.
bool InPlatformNamespace(const std::string& mangled) {
  const std::string name = Demangled(mangled);
  for (const char* prefix : {"qv::", "typeinfo for qv::", "typeinfo name for qv::", "vtable for qv::", "QvForms::"})
    if (name.rfind(prefix, 0) == 0) return true;
  return false;
}

bool InCupsNamespace(const std::string& mangled) {
  const std::string name = Demangled(mangled);
  for (const char* prefix : {"qv::cups::", "typeinfo for qv::cups::", "typeinfo name for qv::cups::",
                             "vtable for qv::cups::"})
    if (name.rfind(prefix, 0) == 0) return true;
  return false;
}

struct ExportRow {
  const char* name;
  const char* library;
  std::set<std::string> exact;                           // empty: not an exact list
  std::function<bool(const std::string&)> alsoAllowed;  // names beyond the exact list
};

std::vector<ExportRow> Rows() {
  const std::set<std::string> serverEntries = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                               "DllUnregisterServer"};
  std::set<std::string> monitor = serverEntries;
  monitor.insert({"InitializePrintMonitor", "_Z13LocalOpenPortPtPPv", "TypeLibraryResource"});
  const std::set<std::string> platformC = CNamesOf(QV_SOURCE_DIR "/platform/qvplatform.map");
  return {
      {"Monitor", "libqvpm.so", monitor, nullptr},
      {"JobProcessor", "libmarrowjetui.so", serverEntries, nullptr},
      {"Platform", "libqvplatform.so", {},
       [platformC](const std::string& name) { return platformC.count(name) || InPlatformNamespace(name); }},
      {"Cups", "libqvcups.so", {}, InCupsNamespace},
  };
}

class ExportsTest : public ::testing::TestWithParam<ExportRow> {};

TEST_P(ExportsTest, ExportsNothingElse) {
  const ExportRow& row = GetParam();
  const std::string path = qv::testing::LibDir() + "/" + row.library;
  const std::vector<std::string> exported = DefinedExports(path);
  ASSERT_FALSE(exported.empty()) << "nm listed nothing for " << path;

  std::set<std::string> seen;
  for (const std::string& name : exported) {
    seen.insert(name);
    const bool allowed = row.exact.count(name) || (row.alsoAllowed && row.alsoAllowed(name));
    EXPECT_TRUE(allowed) << row.library << " exports " << name << " (" << Demangled(name) << ")";
  }
  for (const std::string& wanted : row.exact) EXPECT_TRUE(seen.count(wanted)) << row.library << " lacks " << wanted;
}

INSTANTIATE_TEST_SUITE_P(Libraries, ExportsTest, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<ExportRow>& info) { return info.param.name; });

// The version script's C list is what the platform's callers link against: a list that
// reads as empty would let the test above pass on anything in the qv namespace alone.
TEST(ExportsScriptTest, PlatformScriptListsItsWindowsFunctions) {
  const std::set<std::string> names = CNamesOf(QV_SOURCE_DIR "/platform/qvplatform.map");
  for (const char* expected : {"RegOpenKeyExW", "CoCreateInstance", "OpenPrinterW", "QvReportFailure"})
    EXPECT_TRUE(names.count(expected)) << expected;
}

}  // namespace

// What the loader reads from the shipped programs and libraries before main: the run path must
// not make it look for libraries in the current folder (an empty entry does: a slower start, and
// a library planted in whatever folder the command runs from would be loaded), and the quorvane
// command must not need the CUPS libraries, which it loads only when CUPS is in use.
#include <TempPrefix.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

struct DynamicSection {
  bool read = false;
  std::vector<std::string> needed;
  std::vector<std::string> runPath;  // RUNPATH and RPATH entries, in order
};

// The entries of a run path, empty ones kept: "a::b" and "a:" hold one each.
std::vector<std::string> RunPathEntries(const std::string& path) {
  std::vector<std::string> entries;
  size_t start = 0;
  for (;;) {
    const size_t colon = path.find(':', start);
    entries.push_back(path.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) return entries;
    start = colon + 1;
  }
}

// The dynamic section of `file`, as readelf -d prints it.
DynamicSection ReadDynamicSection(const std::string& file) {
  DynamicSection section;
  const std::string command = "readelf -d '" + file + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return section;
  const std::regex entry(R"(\((NEEDED|RUNPATH|RPATH)\)\s+[^\[]*\[(.*)\]\s*$)");
  char line[4096];
  while (std::fgets(line, sizeof line, pipe.get())) {
    section.read = true;
    std::smatch match;
    const std::string text(line);
    if (!std::regex_search(text, match, entry)) continue;
    if (match[1] == "NEEDED") {
      section.needed.push_back(match[2]);
      continue;
    }
    for (const std::string& part : RunPathEntries(match[2])) section.runPath.push_back(part);
  }
  return section;
}

bool NeedsCups(const DynamicSection& section) {
  for (const std::string& name : section.needed)
    if (name.rfind("libcups", 0) == 0 || name.rfind("libqvcups", 0) == 0) return true;
  return false;
}

struct FileRow {
  const char* name;
  std::string path;
  bool needsCups;
};

TEST(DynamicSectionTest, RunPathsNeverSearchTheCurrentFolder) {
  const std::string bin = qv::testing::BinDir(), lib = qv::testing::LibDir();
  const FileRow rows[] = {
      {"command", bin + "/quorvane", false},
      // Run by the scheduler as root, from a copy of the built one too.
      {"backend", bin + "/quorvane-cups", true},
      {"platform", lib + "/libqvplatform.so", false},
      {"cups", lib + "/libqvcups.so", true},
      {"monitor", lib + "/libqvpm.so", false},
      {"job processor", lib + "/libmarrowjetui.so", false},
  };
  for (const FileRow& row : rows) {
    SCOPED_TRACE(row.name);
    const DynamicSection section = ReadDynamicSection(row.path);
    ASSERT_TRUE(section.read) << "readelf read nothing from " << row.path;
    ASSERT_FALSE(section.runPath.empty()) << row.path << " has no run path";
    for (const std::string& entry : section.runPath) {
      EXPECT_FALSE(entry.empty()) << row.path << " has an empty run path entry";
      EXPECT_NE(entry, ".") << row.path;
    }
    EXPECT_EQ(NeedsCups(section), row.needsCups) << row.path;
  }
}

TEST(DynamicSectionTest, RunPathEntriesKeepEmptyOnes) {
  struct Row {
    const char* name;
    const char* path;
    std::vector<std::string> entries;
  } rows[] = {
      {"one", "$ORIGIN", {"$ORIGIN"}},
      {"two", "/a/lib:$ORIGIN/../lib", {"/a/lib", "$ORIGIN/../lib"}},
      {"trailing padding", "/a/lib:::", {"/a/lib", "", "", ""}},
      {"leading", ":/a/lib", {"", "/a/lib"}},
      {"inside", "/a::/b", {"/a", "", "/b"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(RunPathEntries(row.path), row.entries);
  }
}

}  // namespace

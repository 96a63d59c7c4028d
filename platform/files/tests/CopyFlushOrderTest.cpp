// The order of the calls that make a copy durable, seen by stand-ins for the C library's sync,
// rename and link calls (this program exports them, so the platform library binds to them):
// the copy is on disk before it takes the destination's name, and the folder is flushed after,
// so that neither a half-written file nor a lost rename can follow a power cut.
#include <gtest/gtest.h>
#include <winbase.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <mutex>
#include <string>
#include <vector>

#include "FileTestSupport.h"
#include <qv/durability_group.h>
#include "TempPrefix.h"

namespace fs = std::filesystem;

namespace {

struct Call {
  std::string kind;  // "sync" or "place"
  std::string path;  // what was synced; the name a file was given
  std::string from;  // for "place": the name it had
};

std::atomic<bool> recording{false};
std::mutex callsLock;
std::vector<Call> calls;

void Record(Call call) {
  if (!recording) return;
  std::lock_guard guard(callsLock);
  calls.push_back(std::move(call));
}

std::string PathOfDescriptor(int fd) {
  std::error_code error;
  return fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string();
}

std::string Absolute(const char* path) {
  std::error_code error;
  return fs::weakly_canonical(path, error).string();
}

// A name given relative to an open folder, as the *at calls take it.
std::string AtPath(int folder, const char* path) {
  if (path[0] == '/' || folder == AT_FDCWD) return Absolute(path);
  return PathOfDescriptor(folder) + "/" + path;
}

// The recorded calls, one a line, for a failure's message.
std::string Trace() {
  std::string trace;
  for (const Call& call : calls) trace += call.kind + " " + call.from + " " + call.path + "\n";
  return trace;
}

// Staging names are hidden ("." first): none may outlive the copy or the commit.
void ExpectNoStagingFileIn(const fs::path& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    EXPECT_NE(entry.path().filename().string()[0], '.') << "staging file left: " << entry.path();
}

template <class Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int fsync(int fd) {
  static auto next = Next<int (*)(int)>("fsync");
  Record({"sync", PathOfDescriptor(fd), {}});
  return next(fd);
}

int fdatasync(int fd) {
  static auto next = Next<int (*)(int)>("fdatasync");
  Record({"sync", PathOfDescriptor(fd), {}});
  return next(fd);
}

int syncfs(int fd) {
  static auto next = Next<int (*)(int)>("syncfs");
  Record({"sync all", PathOfDescriptor(fd), {}});
  return next(fd);
}

int rename(const char* from, const char* to) {
  static auto next = Next<int (*)(const char*, const char*)>("rename");
  Record({"place", Absolute(to), Absolute(from)});
  return next(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  static auto next = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  Record({"place", AtPath(toDir, to), AtPath(fromDir, from)});
  return next(fromDir, from, toDir, to, flags);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  static auto next = Next<int (*)(int, const char*, int, const char*)>("renameat");
  Record({"place", AtPath(toDir, to), AtPath(fromDir, from)});
  return next(fromDir, from, toDir, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  static auto next = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
  Record({"place", AtPath(toDir, to), AtPath(fromDir, from)});
  return next(fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to) {
  static auto next = Next<int (*)(const char*, const char*)>("link");
  Record({"place", Absolute(to), Absolute(from)});
  return next(from, to);
}

}  // extern "C"

namespace {

TEST(CopyFlushOrder, CopyIsOnDiskBeforeItsRenameAndTheFolderAfter) {
  qv::testing::TempPrefix prefix;
  const fs::path folder = fs::canonical(prefix.Dir()) / "out";
  fs::create_directories(folder);
  const std::string source = prefix.Path("job.tmp");
  qv::files::testing::WriteHostFile(source, "job data");
  struct Case {
    const char* name;
    bool destinationExists;
    BOOL failIfExists;
  } cases[] = {
      {"replacing a file", true, FALSE},
      {"a new file", false, FALSE},
      {"a new file, never replacing", false, TRUE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string destination = (folder / "report.prn").string();
    fs::remove(destination);
    if (c.destinationExists) qv::files::testing::WriteHostFile(destination, "old data");
    calls.clear();
    recording = true;
    const BOOL copied = CopyFileA(source.c_str(), destination.c_str(), c.failIfExists);
    recording = false;
    ASSERT_TRUE(copied) << GetLastError();
    EXPECT_EQ(qv::files::testing::ReadHostFile(destination), "job data");

    const std::string trace = Trace();
    size_t placed = calls.size();
    for (size_t i = 0; i < calls.size(); ++i)
      if (calls[i].kind == "place" && calls[i].path == destination) placed = i;
    ASSERT_LT(placed, calls.size()) << "the copy takes its name in one step\n" << trace;
    const std::string staged = calls[placed].from;
    EXPECT_EQ(fs::path(staged).parent_path(), folder) << "staged beside the destination\n" << trace;

    bool stagedSynced = false;
    for (size_t i = 0; i < placed; ++i) stagedSynced |= calls[i].kind == "sync" && calls[i].path == staged;
    EXPECT_TRUE(stagedSynced) << "flushed before it is renamed\n" << trace;
    bool folderSynced = false;
    for (size_t i = placed + 1; i < calls.size(); ++i)
      folderSynced |= calls[i].kind == "sync" && calls[i].path == folder.string();
    EXPECT_TRUE(folderSynced) << "the folder flushed after the rename\n" << trace;
  }
}

// Inside a durability group the copies wait under their staging names; the commit flushes them
// (all at once from three on), names them in order, then flushes each folder once.
TEST(CopyFlushOrder, AGroupFlushesItsCopiesTogetherBeforeNamingThemAndEachFolderOnce) {
  qv::testing::TempPrefix prefix;
  const fs::path root = fs::canonical(prefix.Dir());
  const std::string source = prefix.Path("job.tmp");
  qv::files::testing::WriteHostFile(source, "job data");
  struct Case {
    const char* name;
    std::vector<std::string> destinations;  // below root
    size_t wholeFileSystemFlushes;          // syncfs calls expected
  } cases[] = {
      {"one copy: its own flush", {"a/1.prn"}, 0},
      {"four copies in one folder: one flush for all", {"a/1.prn", "a/2.prn", "a/3.prn", "a/4.prn"}, 1},
      {"copies in two folders", {"a/1.prn", "b/1.prn", "a/2.prn", "b/2.prn"}, 1},
      {"the same name twice: the later copy wins", {"a/1.prn", "a/1.prn", "a/2.prn"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root / "a");
    fs::remove_all(root / "b");
    fs::create_directories(root / "a");
    fs::create_directories(root / "b");
    calls.clear();
    std::set<std::string> folders;
    {
      qv::DurabilityGroup group;
      recording = true;
      for (size_t i = 0; i < c.destinations.size(); ++i) {
        const std::string destination = (root / c.destinations[i]).string();
        qv::files::testing::WriteHostFile(source, "job data " + std::to_string(i));
        ASSERT_TRUE(CopyFileA(source.c_str(), destination.c_str(), FALSE)) << GetLastError();
        folders.insert(fs::path(destination).parent_path().string());
      }
      {
        qv::DurabilityGroup nested;
        EXPECT_EQ(nested.Commit(), static_cast<DWORD>(ERROR_SUCCESS));
      }
      for (const std::string& leaf : c.destinations)
        EXPECT_FALSE(fs::exists(root / leaf)) << leaf << " is named before the group commits";
      EXPECT_EQ(group.Commit(), static_cast<DWORD>(ERROR_SUCCESS));
      recording = false;
    }
    std::map<std::string, std::string> expected;
    for (size_t i = 0; i < c.destinations.size(); ++i) expected[c.destinations[i]] = "job data " + std::to_string(i);
    for (const auto& [leaf, data] : expected) EXPECT_EQ(qv::files::testing::ReadHostFile((root / leaf).string()), data);

    const std::string trace = Trace();
    size_t wholeFlushes = 0, firstPlace = calls.size(), lastPlace = 0;
    std::map<std::string, size_t> folderFlushes;
    for (size_t i = 0; i < calls.size(); ++i) {
      const Call& call = calls[i];
      if (call.kind == "sync all") ++wholeFlushes;
      if (call.kind == "sync" && folders.count(call.path)) {
        EXPECT_GT(i, lastPlace) << "a folder is flushed after every name in the group\n" << trace;
        ++folderFlushes[call.path];
      }
      if (call.kind != "place") continue;
      firstPlace = std::min(firstPlace, i);
      lastPlace = i;
      bool flushed = false;
      for (size_t j = 0; j < i; ++j)
        flushed |= calls[j].kind == "sync all" || (calls[j].kind == "sync" && calls[j].path == call.from);
      EXPECT_TRUE(flushed) << call.path << " is named before its content is flushed\n" << trace;
    }
    EXPECT_EQ(wholeFlushes, c.wholeFileSystemFlushes) << trace;
    for (const std::string& folder : folders) EXPECT_EQ(folderFlushes[folder], 1u) << folder << "\n" << trace;
    for (const char* folder : {"a", "b"}) ExpectNoStagingFileIn(root / folder);
  }
}

// A copy that must not replace anything learns at its rename whether the name is free: even
// inside a group it is named before it returns.
TEST(CopyFlushOrder, ACopyThatMustNotReplaceIsNamedAtOnceInAGroup) {
  qv::testing::TempPrefix prefix;
  const std::string source = prefix.Path("job.tmp");
  qv::files::testing::WriteHostFile(source, "job data");
  const std::string destination = prefix.Path("out.prn");
  qv::DurabilityGroup group;
  ASSERT_TRUE(CopyFileA(source.c_str(), destination.c_str(), TRUE)) << GetLastError();
  EXPECT_EQ(qv::files::testing::ReadHostFile(destination), "job data");
  EXPECT_FALSE(CopyFileA(source.c_str(), destination.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(group.Commit(), static_cast<DWORD>(ERROR_SUCCESS));
}

// A copy that can't take its name at the commit (a folder took it meanwhile) makes the commit
// fail, so that its caller keeps what it would have deleted; the other copies are named, and no
// staging file is left.
TEST(CopyFlushOrder, ACommitThatCantNameACopyFailsAndLeavesNoStagingFile) {
  qv::testing::TempPrefix prefix;
  const fs::path root = fs::canonical(prefix.Dir()) / "out";
  fs::create_directories(root);
  const std::string source = prefix.Path("job.tmp");
  qv::files::testing::WriteHostFile(source, "job data");
  qv::DurabilityGroup group;
  ASSERT_TRUE(CopyFileA(source.c_str(), (root / "blocked.prn").string().c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(source.c_str(), (root / "free.prn").string().c_str(), FALSE));
  fs::create_directories(root / "blocked.prn" / "inside");
  EXPECT_NE(group.Commit(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(qv::DurabilityFailureFolder(), root.string()) << "the message names the folder";
  EXPECT_EQ(qv::files::testing::ReadHostFile((root / "free.prn").string()), "job data");
  ExpectNoStagingFileIn(root);
}

}  // namespace

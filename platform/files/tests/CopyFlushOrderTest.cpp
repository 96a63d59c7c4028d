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
#include <mutex>
#include <string>
#include <vector>

#include "FileTestSupport.h"
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

int rename(const char* from, const char* to) {
  static auto next = Next<int (*)(const char*, const char*)>("rename");
  Record({"place", Absolute(to), Absolute(from)});
  return next(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  static auto next = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
  Record({"place", Absolute(to), Absolute(from)});
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

    std::string trace;
    for (const Call& call : calls) trace += call.kind + " " + call.from + " " + call.path + "\n";
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

}  // namespace

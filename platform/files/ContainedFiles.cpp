// Folders and copies below an administrator's folder, walked element by element from that folder
// with O_NOFOLLOW, so no symbolic link in the part a job chose is ever followed.
#include <qv/contained_files.h>
#include <winbase.h>

#include "ApiSupport.h"
#include "ErrnoMapping.h"
#include "FolderCopy.h"
#include "UniqueFd.h"

#include <qv/diagnostics.h>
#include <qv/durability_group.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

using qv::files::Fail;
using qv::files::Guarded;
using qv::files::UniqueFd;
using qv::files::Win32ErrorFromErrno;

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The elements of a relative path; 0 or ERROR_INVALID_NAME.
DWORD SplitRelative(std::string_view path, std::vector<std::string>& elements) {
  size_t pos = 0;
  while (pos < path.size()) {
    if (IsSeparator(path[pos])) {
      ++pos;
      continue;
    }
    size_t end = pos;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::string_view element = path.substr(pos, end - pos);
    // A drive letter here ("Z:") is only a name below the folder, never a drive.
    if (element == "." || element == ".." || element.find('\0') != std::string_view::npos)
      return ERROR_INVALID_NAME;
    elements.emplace_back(element);
    pos = end;
  }
  return elements.empty() ? ERROR_INVALID_NAME : ERROR_SUCCESS;
}

// What a failed step below the folder means; a link is named as such.
DWORD WalkError(int error) {
  if (error == ELOOP) return ERROR_CANT_RESOLVE_FILENAME;
  if (error == ENOENT) return ERROR_PATH_NOT_FOUND;
  return Win32ErrorFromErrno(error);
}

// The host path the call was about, for the failure's note.
std::string Joined(std::string host, const std::vector<std::string>& elements) {
  for (const std::string& element : elements) {
    if (host.empty() || host.back() != '/') host += '/';
    host += element;
  }
  return host;
}

// Opens `folder` (links followed: it is the administrator's), then each of the first `depth`
// elements below it without following a link. `walked` ends as the deepest folder.
DWORD WalkBelow(const std::string& host, const std::vector<std::string>& elements, size_t depth, UniqueFd& walked) {
  walked.Reset(open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!walked.Valid()) return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno);
  for (size_t i = 0; i < depth; ++i) {
    int next = openat(walked.Get(), elements[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      int error = errno;
      // O_DIRECTORY may answer ENOTDIR for a link; tell a link from a plain file.
      struct stat info;
      if (error == ENOTDIR && fstatat(walked.Get(), elements[i].c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(info.st_mode))
        error = ELOOP;
      return WalkError(error);
    }
    walked.Reset(next);
  }
  return ERROR_SUCCESS;
}

// What a call below an administrator's folder works on: the folder's host path, the elements
// of the relative path, and (once walked) the opened parent of the last element.
struct Below {
  std::string host;
  std::vector<std::string> elements;
  UniqueFd parent;

  // Resolves the folder and splits the path; false, with the last error set, when either is
  // refused.
  bool Resolve(LPCSTR folder, LPCSTR relativePath) {
    if (!qv::files::NotedHostPathFromArgument(folder, host)) return false;
    if (DWORD status = SplitRelative(relativePath ? relativePath : "", elements)) return Fail(status, false);
    return true;
  }
  DWORD WalkToParent() { return WalkBelow(host, elements, elements.size() - 1, parent); }
  const std::string& Last() const { return elements.back(); }
  // A failure, noted with the host path the call was about for the person who has to fix it.
  BOOL Failed(DWORD status) const {
    qv::NoteFailedHostPath(Joined(host, elements), status);
    return Fail(status, FALSE);
  }
};

}  // namespace

BOOL WINAPI QvCreateDirectoryBelowA(LPCSTR folder, LPCSTR relativePath) {
  return Guarded(FALSE, [&]() -> BOOL {
    Below below;
    if (!below.Resolve(folder, relativePath)) return FALSE;
    DWORD status = below.WalkToParent();
    if (status == ERROR_SUCCESS) {
      if (mkdirat(below.parent.Get(), below.Last().c_str(), 0777) == 0) {  // less umask
        // Guards the new folder's entry: a folder lost in a power cut takes its copies along.
        qv::FlushFolderOrDefer(below.parent.Get());
        return TRUE;
      }
      if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS, FALSE);
      status = WalkError(errno);
    }
    return below.Failed(status);
  });
}

BOOL WINAPI QvCopyFileBelowA(LPCSTR existingFileName, LPCSTR folder, LPCSTR relativePath, BOOL failIfExists) {
  return Guarded(FALSE, [&]() -> BOOL {
    std::string source;
    if (!qv::files::HostPathFromArgument(existingFileName, source)) return FALSE;
    Below below;
    if (!below.Resolve(folder, relativePath)) return FALSE;
    DWORD status = below.WalkToParent();
    if (status == ERROR_SUCCESS)
      status = qv::files::CopyIntoFolder(source, below.parent.Get(), below.Last(), failIfExists != FALSE);
    if (status == ERROR_SUCCESS) return TRUE;
    return below.Failed(status);
  });
}

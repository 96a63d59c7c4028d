// The backend program in CUPS's folder of helpers: installed root-owned with mode 0700, since
// cupsd runs such a backend as root and a job's script must be able to write anywhere.
#include "../files/UniqueFd.h"

#include <qv/cups.h>
#include <qv/prefix.h>

#include <winerror.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace qv::cups {
namespace {

DWORD FromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENOSPC:
      return ERROR_DISK_FULL;
    default:
      return ERROR_WRITE_FAULT;
  }
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat x {}, y {};
  return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

DWORD CopyTo(int from, int to) {
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t got = read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ERROR_READ_FAULT;
    if (got == 0) return ERROR_SUCCESS;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return FromErrno(errno);
      done += put;
    }
  }
}

}  // namespace

std::string ServerBin() {
  const char* configured = std::getenv("CUPS_SERVERBIN");
  return configured && *configured ? configured : QV_CUPS_SERVERBIN;
}

std::string InstalledBackendPath() { return ServerBin() + "/backend/" + kScheme; }

std::string BackendSource() {
  // A build tree keeps programs in bin/ beside lib/, where this library is.
  std::string built = LibraryDir() + "/../bin/quorvane-cups";
  if (IsFile(built)) return built;
  // An installed tree: the backend its package or `cmake --install` put in CUPS's folder.
  std::string installed = LibraryDir() + "/" + QV_BACKEND_FROM_LIBDIR + "/" + kScheme;
  if (IsFile(installed)) return installed;
  std::string system = std::string(QV_CUPS_SERVERBIN) + "/backend/" + kScheme;
  if (IsFile(system)) return system;
  return {};
}

DWORD InstallBackend(const std::string& source) {
  std::string target = InstalledBackendPath();
  if (geteuid() != 0) return ERROR_ACCESS_DENIED;  // only root can give cupsd a root backend
  if (SameFile(source, target)) {
    if (chown(target.c_str(), 0, 0) != 0 || chmod(target.c_str(), 0700) != 0) return FromErrno(errno);
    return ERROR_SUCCESS;
  }
  files::UniqueFd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) return errno == ENOENT ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : FromErrno(errno);
  std::string temporary = target + ".new";
  unlink(temporary.c_str());
  DWORD status = ERROR_SUCCESS;
  {
    files::UniqueFd out(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700));
    if (out.Get() < 0) return FromErrno(errno);
    status = CopyTo(in.Get(), out.Get());
    if (status == ERROR_SUCCESS && (fchown(out.Get(), 0, 0) != 0 || fchmod(out.Get(), 0700) != 0 || fsync(out.Get()) != 0))
      status = FromErrno(errno);
  }
  if (status == ERROR_SUCCESS && rename(temporary.c_str(), target.c_str()) != 0) status = FromErrno(errno);
  if (status != ERROR_SUCCESS) unlink(temporary.c_str());
  return status;
}

DWORD RemoveBackend() {
  if (unlink(InstalledBackendPath().c_str()) != 0 && errno != ENOENT) return FromErrno(errno);
  return ERROR_SUCCESS;
}

}  // namespace qv::cups

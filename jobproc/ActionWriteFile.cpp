#include "ActionWriteFile.h"

#include <vector>

#include "JobCalls.h"
#include "ObjectError.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

constexpr TextView kPrefix = WSTR("WriteFile: ");

bool HasDriveQualifier(TextView path) {
  if (path.size() < 3) return false;
  WCHAR drive = path[0];
  if (drive >= WCHAR('a') && drive <= WCHAR('z')) drive = static_cast<WCHAR>(drive - WCHAR('a') + WCHAR('A'));
  return drive >= WCHAR('A') && drive <= WCHAR('Z') && path[1] == WCHAR(':') && path[2] == WCHAR('\\');
}

std::vector<Text> PathElements(TextView path) {
  std::vector<Text> elements;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find(WCHAR('\\'), start);
    if (end == TextView::npos) {
      elements.emplace_back(path.substr(start));
      return elements;
    }
    elements.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

void ActionWriteFile::Run(TextView TempFilePath, _Job* JobInfo, DATE DateNow) noexcept {
  try {
    const Text destination = ConvertTemplate(JobInfo, pathTemplate_, DateNow);
    // The copy is attempted even after a failed drive check: the file system never resolves a
    // path without a drive against the working directory, so such a copy fails and is logged.
    CreateFilePath(destination);
    if (!CopyFileA(ToCodePage(TempFilePath).c_str(), ToCodePage(destination).c_str(), FALSE))
      RaiseError(kErrorWritingFile, WSTR("Error writing file: ") + destination);
  } catch (...) {
    ReportCaughtError(WSTR("ActionWriteFile::Run"));
  }
}

Text ActionWriteFile::AsString() noexcept {
  try {
    return Text(kPrefix) + pathTemplate_;
  } catch (...) {
    ReportCaughtError(WSTR("ActionWriteFile::AsString"));
    return {};
  }
}

void ActionWriteFile::LoadFromString(TextView Cmd) noexcept {
  try {
    // The template follows the prefix; the prefix's blank and any others around it go.
    pathTemplate_ = Cmd.size() < kPrefix.size() ? Text() : TrimBlanks(Cmd.substr(kPrefix.size() - 1));
  } catch (...) {
    ReportCaughtError(WSTR("ActionWriteFile::LoadFromString"));
  }
}

void ActionWriteFile::ConfigureUI() noexcept {
  // The file path template dialog arrives with the port configuration; until then the
  // template stays as it is.
}

void ActionWriteFile::CreateFilePath(TextView path) noexcept {
  try {
    if (!HasDriveQualifier(path))
      RaiseError(kErrorNoDriveQualifier, WSTR("Path must start with a drive qualifier, ie 'C:\\'"));
  } catch (...) {
    ReportCaughtError(WSTR("ActionWriteFile::CreateFilePath"));
    return;
  }
  try {
    // The drive is the first element and the file name the last: neither is created.
    const std::vector<Text> elements = PathElements(path);
    Text folder(path.substr(0, 2));
    for (size_t i = 1; i + 1 < elements.size(); ++i) {
      folder += WCHAR('\\');
      folder += elements[i];
      const std::string name = ToCodePage(folder);
      // Anything of that name, a file too, counts as present.
      if (GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
      if (!CreateDirectoryA(name.c_str(), nullptr)) RaiseSystemError(static_cast<LONG>(GetLastError()));
    }
  } catch (...) {
    ReportCaughtError(WSTR("ActionWriteFile::CreateFilePath"));
  }
}

}  // namespace MarrowjetUI

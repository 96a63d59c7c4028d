#include "ActionWriteFile.h"

#include <qv/contained_files.h>

#include <vector>

#include "ControllerFilePath.h"
#include "Job.h"
#include "JobCalls.h"
#include "ObjectError.h"
#include "modError.h"
#include "win/ComPtr.h"

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

bool IsSeparator(WCHAR c) { return c == u'\\' || c == u'/'; }

}  // namespace

size_t ActionWriteFile::LiteralFolderLength(TextView pathTemplate, TextView destination) noexcept {
  const size_t field = FirstFieldCode(pathTemplate);
  const TextView literal = pathTemplate.substr(0, field == TextView::npos ? pathTemplate.size() : field);
  size_t end = literal.size();
  while (end > 0 && !IsSeparator(literal[end - 1])) --end;
  // The converted path must start with the very same folder: a job can't have changed it.
  if (end == 0 || destination.substr(0, end) != literal.substr(0, end)) return 0;
  return end;
}

void ActionWriteFile::Run(TextView TempFilePath, _Job* JobInfo, DATE DateNow) noexcept {
  ReportFailures(WSTR("ActionWriteFile::Run"), [&] {
    const Text destination = ConvertTemplate(JobInfo, pathTemplate_, DateNow);
    const size_t literal = LiteralFolderLength(pathTemplate_, destination);
    // The copy is attempted even after a failed drive check; it only succeeds below a folder the
    // template names itself (a drive or a host path), never one a field produced.
    CreateFilePath(destination, literal);
    const std::string folder = ToCodePage(destination.substr(0, literal));
    const std::string below = ToCodePage(destination.substr(literal));
    if (literal == 0 || !QvCopyFileBelowA(ToCodePage(TempFilePath).c_str(), folder.c_str(), below.c_str(), FALSE))
      RaiseError(kErrorWritingFile, WSTR("Error writing file: ") + destination);
  });
}

Text ActionWriteFile::AsString() noexcept {
  return ReportFailures(WSTR("ActionWriteFile::AsString"), [&] { return Text(kPrefix) + pathTemplate_; });
}

void ActionWriteFile::LoadFromString(TextView Cmd) noexcept {
  ReportFailures(WSTR("ActionWriteFile::LoadFromString"), [&] {
    // The template follows the prefix; the prefix's blank and any others around it go.
    pathTemplate_ = Cmd.size() < kPrefix.size() ? Text() : TrimBlanks(Cmd.substr(kPrefix.size() - 1));
  });
}

void ActionWriteFile::ConfigureUI() noexcept {
  ReportFailures(WSTR("ActionWriteFile::ConfigureUI"), [&] {
    win::ComPtr<_ControllerFilePath> dialog;
    const HRESULT created = ControllerFilePath::CreateInstance(IID__ControllerFilePath, dialog.Out());
    if (FAILED(created)) RaiseSystemError(created);
    Bstr current(pathTemplate_);
    BSTR argument = current.Get();
    Bstr answer;
    if (FAILED(dialog->Show(&argument, answer.Out()))) return;
    // An empty answer leaves the template as it is.
    if (Text edited = answer.ToText(); !edited.empty()) pathTemplate_ = std::move(edited);
  });
}

void ActionWriteFile::CreateFilePath(TextView path, size_t literalLength) noexcept {
  ReportFailures(WSTR("ActionWriteFile::CreateFilePath"), [&] {
    if (!HasDriveQualifier(path))
      RaiseError(kErrorNoDriveQualifier, WSTR("Path must start with a drive qualifier, ie 'C:\\'"));
    // The drive is the first element and the file name the last: neither is created.
    const std::vector<Text> elements = PathElements(path);
    const std::string literalFolder = ToCodePage(path.substr(0, literalLength));
    Text folder(path.substr(0, 2));
    for (size_t i = 1; i + 1 < elements.size(); ++i) {
      folder += WCHAR('\\');
      folder += elements[i];
      const std::string name = ToCodePage(folder);
      if (folder.size() < literalLength) {
        // The template's own folders are the administrator's: they may be links.
        // Anything of that name, a file too, counts as present.
        if (GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        if (!CreateDirectoryA(name.c_str(), nullptr)) RaiseSystemError(static_cast<LONG>(GetLastError()));
        continue;
      }
      // A folder a field produced is made below the literal folder and never through a link.
      if (literalLength == 0) RaiseSystemError(ERROR_INVALID_NAME);
      const std::string below = ToCodePage(folder.substr(literalLength));
      if (QvCreateDirectoryBelowA(literalFolder.c_str(), below.c_str())) continue;
      const DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS) RaiseSystemError(static_cast<LONG>(error));
    }
  });
}

}  // namespace MarrowjetUI

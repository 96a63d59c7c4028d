#include "dlgAbout.h"

#include "ObjectError.h"
#include "win/ExceptionBarrier.h"
#include "win/UniqueResource.h"

#include <qv/macros.h>

namespace MarrowjetUI {

using QvForms::ControlKind;

namespace {

constexpr DWORD kReadAccess = 0x2003F;

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Starts the program in a normal window; false when it could not be started.
bool StartProgram(const std::string& path) { return WinExec(path.c_str(), SW_SHOWNORMAL) > 31; }

}  // namespace

dlgAbout::dlgAbout()
    : form(WSTR("About Quorvane"), 360, 196),
      lblTitle(form.Add(ControlKind::Label, WSTR("lblTitle"), {10, 10, 340, 22})),
      lblVersion(form.Add(ControlKind::Label, WSTR("lblVersion"), {10, 34, 340, 20})),
      lblDescription(form.Add(ControlKind::Label, WSTR("lblDescription"), {10, 60, 340, 20})),
      Label1(form.Add(ControlKind::Label, WSTR("Label1"), {10, 82, 340, 20})),
      lblDisclaimer(form.Add(ControlKind::Label, WSTR("lblDisclaimer"), {10, 104, 340, 20})),
      Line1(form.Add(ControlKind::EtchedLine, WSTR("Line1"), {10, 140, 340, 2})),
      cmdOK(form.Add(ControlKind::PushButton, WSTR("cmdOK"), {265, 154, 85, 28})),
      cmdSysInfo(form.Add(ControlKind::PushButton, WSTR("cmdSysInfo"), {140, 154, 115, 28})) {
  lblTitle.Caption = WSTR("Quorvane");
  lblVersion.Caption = WSTR("Version 2.0");
  lblDescription.Caption = WSTR("Redirects print jobs to files and to other printers.");
  Label1.Caption = WSTR("Each port runs its own list of actions for every job.");
  cmdOK.Caption = WSTR("OK");
  cmdSysInfo.Caption = WSTR("&System Info...");
  form.DefaultButton = &cmdOK;
  form.CancelButton = &cmdOK;
  form.SetTabOrder({&cmdOK, &cmdSysInfo});
  cmdOK.OnClick = [this] { form.Hide(); };
  cmdSysInfo.OnClick = [] { StartSysInfo(); };
}

void dlgAbout::ShowModal() {
  if (!form.ShowModal()) RaiseSystemError(static_cast<LONG>(GetLastError()));
}

void dlgAbout::StartSysInfo() noexcept {
  const bool started = win::ExceptionBarrier(
      [&] {
        Text path;
        if (GetKeyValue(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), WSTR("PATH"), path))
          return StartProgram(ToCodePage(path));
        if (GetKeyValue(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\Microsoft\\Shared Tools Location"), WSTR("MSINFO"),
                        path)) {
          const std::string program = ToCodePage(path) + "\\MSINFO32.EXE";
          return FileExists(program) && StartProgram(program);
        }
        return false;
      },
      // Every failure ends in the message below; nothing is logged.
      [](bool) { return false; });
  if (started) return;
  MessageBoxW(nullptr, WSTR("System Information Is Unavailable At This Time"), WSTR("About Quorvane"), MB_OK);
}

bool dlgAbout::GetKeyValue(HKEY KeyRoot, TextView KeyName, TextView SubKeyRef, Text& KeyVal) noexcept {
  return win::ExceptionBarrier([&] {
    KeyVal.clear();
    win::UniqueHKey key;
    if (RegOpenKeyExA(KeyRoot, ToCodePage(KeyName).c_str(), 0, kReadAccess, key.Out()) != ERROR_SUCCESS) return false;
    char buffer[1024];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const LONG status = RegQueryValueExA(key.Get(), ToCodePage(SubKeyRef).c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), &size);
    key.Reset();
    if (status != ERROR_SUCCESS) return false;
    std::string_view data(buffer, size);
    if (!data.empty() && data.back() == '\0') data.remove_suffix(1);
    if (type == REG_SZ) KeyVal = FromCodePage(data);
    return true;
  }, [&](bool) {
    KeyVal.clear();
    return false;
  });
}

}  // namespace MarrowjetUI

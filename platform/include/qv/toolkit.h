// The toolkit that shows the platform's forms and message boxes, chosen by the host: FLTK for
// a person at a display (a plugin loaded on the first dialog), a scripted user for the command
// line and tests, or none (a dialog can't be shown; a message box is told on standard error).
#pragma once
#include <QvForms.h>

#include <memory>
#include <string>

namespace qv::ui {

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  // Runs `form` modally until it is hidden. False, with the reason in `problem`, when the
  // form can't be shown at all.
  virtual bool RunModal(QvForms::Form& form, std::string& problem) = 0;
  // Shows `menu` at (x, y) of `form`; runs the chosen item's handler before it returns.
  virtual void ShowPopupMenu(QvForms::Form& form, QvForms::PopupMenu& menu, int x, int y) = 0;
  // A modal message box owned by `owner` (a form's handle, a foreign window, or null); returns
  // the button pressed (IDOK, ...). Texts are UTF-8.
  virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;
  // The form is going away; forget whatever was kept for it.
  virtual void FormDestroyed(QvForms::Form&) {}
};

// Makes `toolkit` the process's toolkit (null: none). Returns the one it replaces.
std::shared_ptr<Toolkit> UseToolkit(std::shared_ptr<Toolkit> toolkit);
std::shared_ptr<Toolkit> CurrentToolkit();

// The FLTK toolkit. Its plugin (libqvui-fltk.so, in the platform's library folder) is loaded
// when the first form or message box is shown; when it can't be loaded, or no display can be
// opened, forms fail with the reason and message boxes go to standard error.
std::shared_ptr<Toolkit> NewFltkToolkit();

// The toolkit used when none was chosen: no form can be shown, message boxes are written to
// standard error and answered with their default button.
std::shared_ptr<Toolkit> NewNoToolkit();

// The form whose handle `window` is, or null for a value that names no form.
QvForms::Form* FormOfHandle(HWND window);

// The name the plugin exports its factory under: Toolkit* (*)() returning a new toolkit that
// the caller owns, or null when no display can be opened.
inline constexpr const char kFltkPluginFactory[] = "QvCreateFltkToolkit";
inline constexpr const char kFltkPluginName[] = "libqvui-fltk.so";

}  // namespace qv::ui

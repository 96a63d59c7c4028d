// The FLTK toolkit: draws the platform's forms as FLTK windows, feeds the person's input back
// into the controls, and shows message boxes with a stop icon. All on the thread that shows
// the forms. Built into the plugin libqvui-fltk.so; tests use the class directly.
#pragma once
#include <qv/toolkit.h>

#include <map>
#include <vector>

class Fl_Widget;
class Fl_Window;

namespace qv::ui::fltk {

// Opens the display named by $DISPLAY once; false when there is none. (Plain FLTK would end
// the process instead.)
bool OpenDisplay();

class FltkToolkit final : public Toolkit {
 public:
  FltkToolkit() = default;
  ~FltkToolkit() override = default;

  bool RunModal(QvForms::Form& form, std::string& problem) override;
  void ShowPopupMenu(QvForms::Form& form, QvForms::PopupMenu& menu, int x, int y) override;
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;

  // What tests look at: the windows of the forms being shown (innermost last), the widget of
  // a control, and the message box being shown (null when none).
  const std::vector<QvForms::Form*>& ShownForms() const { return shown_; }
  Fl_Window* WindowOf(const QvForms::Form& form) const;
  Fl_Widget* WidgetOf(const QvForms::Control& control) const;
  Fl_Window* OpenMessageBox() const { return messageBox_; }

  // Copies what the person changed into the controls, and the controls into the widgets.
  void Pull(QvForms::Form& form);
  void Push(QvForms::Form& form);

 private:
  struct Shown {
    Fl_Window* window = nullptr;
    std::map<const QvForms::Control*, Fl_Widget*> widgets;
    std::map<const QvForms::Control*, std::vector<QvForms::FormText>> rows;  // rows as last pushed
  };

  Fl_Window* Build(QvForms::Form& form, Shown& shown);
  void Place(Fl_Window& window, HWND owner);
  void Click(QvForms::Form& form, QvForms::Control& control);

  std::map<const QvForms::Form*, Shown> forms_;
  std::vector<QvForms::Form*> shown_;
  Fl_Window* messageBox_ = nullptr;
};

}  // namespace qv::ui::fltk

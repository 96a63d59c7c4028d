// The scripted user: a toolkit that plays a list of steps against the forms as they open,
// the way a person would (type into a box, pick a row, press a button, choose a menu item,
// answer a message box), and records every message box and every form it was shown. The
// command line fills the port dialogs with it; tests drive and inspect the dialogs with it.
// It plays on the thread that shows the forms.
#pragma once
#include <qv/toolkit.h>

#include <functional>
#include <string>
#include <vector>

namespace qv::ui {

struct Step {
  enum class Kind { Type, Select, SelectItem, SelectText, Click, Key, Menu, Answer, Close, Inspect };
  Kind kind = Kind::Click;
  std::string form;     // title of the form the step is meant for; empty: whichever is open
  std::string control;  // the control's name
  std::string text;     // typed text, row or menu item (its name, caption or inserted code)
  long first = 0;       // Select: the row; SelectText: the selection's start; Answer: the button
  long length = 0;      // SelectText: the selection's length
  std::function<void(QvForms::Form&)> inspect;  // Inspect: looks at the open form

  // Replaces the whole text of a text box or combo box field.
  static Step Type(std::string control, std::string text, std::string form = {});
  // Selects a row by its index (-1: none).
  static Step Select(std::string control, long row, std::string form = {});
  // Selects the row with this text (letter case counts).
  static Step SelectItem(std::string control, std::string text, std::string form = {});
  // Sets the caret and selection of a text box.
  static Step SelectText(std::string control, long start, long length, std::string form = {});
  static Step Click(std::string control, std::string form = {});
  // Presses "Enter" (the focused button, else the default button) or "Escape" (the cancel
  // button, else the frame's close).
  static Step Key(std::string key, std::string form = {});
  // Chooses an item of the pop-up menu that the previous step opened.
  static Step Menu(std::string item);
  // Answers the next message box with `button` (IDOK, IDCANCEL, ...).
  static Step Answer(long button);
  // Closes the open form through its frame.
  static Step Close(std::string form = {});
  // Hands the open form to `look` (tests check the controls' state this way).
  static Step Inspect(std::function<void(QvForms::Form&)> look);
};

struct RecordedBox {
  HWND owner = nullptr;
  std::string caption;
  std::string text;
  UINT type = 0;
  int answer = 0;
};

struct RecordedForm {
  std::string title;
  HWND owner = nullptr;
};

class ScriptedUser final : public Toolkit {
 public:
  explicit ScriptedUser(std::vector<Step> steps = {});

  // When set, a message box with the stop icon ends the play: every open form is closed
  // through its frame, as a person giving up would (the command line stores nothing then).
  void StopAtErrorBox(bool stop) { stopAtErrorBox_ = stop; }
  void AddSteps(std::vector<Step> steps);

  bool RunModal(QvForms::Form& form, std::string& problem) override;
  void ShowPopupMenu(QvForms::Form& form, QvForms::PopupMenu& menu, int x, int y) override;
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;

  const std::vector<RecordedBox>& Boxes() const { return boxes_; }
  const std::vector<RecordedForm>& Forms() const { return forms_; }
  // Steps that could not be played, in words ("the form "X" has no control "Y""). A form
  // left with no step to play is closed, and that is recorded here too.
  const std::vector<std::string>& Problems() const { return problems_; }
  size_t StepsLeft() const;
  // Where the last pop-up menu was shown, within its form.
  int MenuLeft() const { return menuLeft_; }
  int MenuTop() const { return menuTop_; }

 private:
  void Play(QvForms::Form& form, const Step& step);
  void Press(QvForms::Form& form, const std::string& key);
  void Problem(std::string text);

  std::vector<Step> steps_;
  size_t next_ = 0;
  bool stopAtErrorBox_ = false;
  bool stopped_ = false;
  std::vector<RecordedBox> boxes_;
  std::vector<RecordedForm> forms_;
  std::vector<std::string> problems_;
  int menuLeft_ = -1;
  int menuTop_ = -1;
};

}  // namespace qv::ui

// The forms the dialogs are written against: a form with a title, default and cancel buttons,
// a tab order and a modal run, and controls that hold their own state (text, selection, rows,
// pictures, tool tips). Click and menu handlers only forward to the dialog's controller, which
// reads and writes the controls. No toolkit shows through: a toolkit behind the platform draws
// the controls and feeds the user's input into them, or plays scripted input against them.
// Coordinates are pixels within the form; texts are wide; text positions count characters.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace QvForms {

using FormText = std::basic_string<WCHAR>;

enum class ControlKind {
  Label,          // a caption
  TextBox,        // single-line text with a caret and a selection
  ListBox,        // single-selection list of rows, not sorted
  DropDownList,   // pick-only drop-down
  ComboBox,       // drop-down with an editable text field
  PushButton,     // a button with a caption
  PictureButton,  // a button showing a 16 by 16 picture, with a tool tip
  EtchedLine      // a separator: a grey and a white line one pixel apart
};

enum class Picture { None, Plus, Cross, Up, Down };

struct Bounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class Form;

class Control {
 public:
  Control(Form& form, ControlKind kind, FormText name, Bounds bounds);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Form& Owner() const { return form_; }
  ControlKind Kind() const { return kind_; }
  const FormText& Name() const { return name_; }
  const Bounds& Position() const { return bounds_; }

  // Caption of a label or button ("&" marks the access key), tool tip, picture.
  FormText Caption;
  FormText ToolTip;
  Picture Image = Picture::None;
  bool Enabled = true;

  // Text of a text box or of a combo box's field. Setting it puts the caret at its end.
  const FormText& Text() const { return text_; }
  void SetText(FormText text);
  // Selection within the text: start and length; with length 0, the caret stands at start.
  long SelStart() const { return selStart_; }
  long SelLength() const { return selLength_; }
  void SetSelection(long start, long length);  // clamped to the text
  // Replaces the selection (or inserts at the caret); the caret ends behind the new text.
  void ReplaceSelection(const FormText& text);

  // Rows of a list, drop-down or combo box, and the selected row (-1: none).
  const std::vector<FormText>& Items() const { return items_; }
  long ListCount() const { return static_cast<long>(items_.size()); }
  void AddItem(FormText item);
  void Clear();  // no rows, nothing selected
  long ListIndex() const { return listIndex_; }
  // Selects a row (-1: none; a row outside the list selects none). In a drop-down or a combo
  // box the field then shows the row's text.
  void SetListIndex(long index);

  // Gives this control the keyboard focus within its form.
  void SetFocus();

  // Called when the button is pressed.
  std::function<void()> OnClick;

 private:
  Form& form_;
  ControlKind kind_;
  FormText name_;
  Bounds bounds_;
  FormText text_;
  long selStart_ = 0;
  long selLength_ = 0;
  std::vector<FormText> items_;
  long listIndex_ = -1;
};

struct MenuItem {
  FormText Name;     // the item's name
  FormText Caption;  // what the menu shows
  std::function<void()> OnChoose;
};

// A pop-up menu, not shown in a menu bar.
struct PopupMenu {
  FormText Caption;
  std::vector<MenuItem> Items;
};

class Form {
 public:
  Form(FormText title, int width, int height);
  ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const FormText& Title() const { return title_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // Adds a control that the form owns; the first one added has the focus.
  Control& Add(ControlKind kind, FormText name, Bounds bounds);
  Control* Find(const FormText& name) const;
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }

  // The order in which Tab moves the focus; controls not listed are not reached by Tab.
  void SetTabOrder(std::vector<Control*> order) { tabOrder_ = std::move(order); }
  const std::vector<Control*>& TabOrder() const { return tabOrder_; }
  // The buttons that Enter and Escape press.
  Control* DefaultButton = nullptr;
  Control* CancelButton = nullptr;

  Control* Focus() const { return focus_; }
  void SetFocus(Control* control) { focus_ = control; }

  // The form's window handle, a 32-bit value; valid while the form lives.
  HWND Handle() const { return handle_; }
  // The window the form is modal to and stays above (null: none, the form is centred).
  // SetWindowLongA(Handle(), GWL_HWNDPARENT, owner) sets it too.
  HWND OwnerWindow() const { return owner_; }
  void SetOwnerWindow(HWND owner) { owner_ = owner; }

  bool Visible() const { return visible_; }
  void Show() { visible_ = true; }
  void Hide() { visible_ = false; }

  // Shows the form modally and returns when it has been hidden or closed through its frame
  // (closing only hides it). FALSE, with the last error set, when no toolkit can show it.
  BOOL ShowModal();
  // Shows `menu` with its top-left corner at (x, y) of the form and returns once an item was
  // chosen (its handler has run) or the menu was dismissed.
  void ShowPopupMenu(PopupMenu& menu, int x, int y);

 private:
  FormText title_;
  int width_;
  int height_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<Control*> tabOrder_;
  Control* focus_ = nullptr;
  HWND handle_ = nullptr;
  HWND owner_ = nullptr;
  bool visible_ = false;
};

}  // namespace QvForms

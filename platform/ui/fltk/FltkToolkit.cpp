#include "FltkToolkit.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Input_Choice.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <qv/utf.h>
#include <winuser.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "Pictures.h"

namespace qv::ui::fltk {
namespace {

using QvForms::Control;
using QvForms::ControlKind;
using QvForms::Form;
using QvForms::FormText;

// FLTK reads "@" in labels as a symbol and "&" as the access key mark; menu labels give "/",
// "\" and "_" meanings too. Texts of the person's (names, paths) are shown as they are.
std::string PlainLabel(const std::string& text, bool keepAccessKey) {
  std::string out;
  for (char c : text) {
    if (c == '@') out += "@@";
    else if (c == '&' && !keepAccessKey) out += "&&";
    else out += c;
  }
  return out;
}

std::string MenuLabel(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&&";
    else if (c == '/' || c == '\\' || c == '_') out += std::string("\\") + c;
    else out += c;
  }
  return out;
}

long ByteOffset(const FormText& text, long characters) {
  return static_cast<long>(ToUtf8(std::u16string_view(text).substr(0, static_cast<size_t>(characters))).size());
}

long CharacterOffset(const std::string& text, long bytes) {
  return static_cast<long>(ToUtf16(std::string_view(text).substr(0, static_cast<size_t>(bytes))).size());
}

struct Target {
  FltkToolkit* toolkit;
  Form* form;
  Control* control;
};

// Targets live as long as the process: FLTK keeps only raw pointers to them.
Target* NewTarget(FltkToolkit* toolkit, Form* form, Control* control) {
  static auto* targets = new std::vector<std::unique_ptr<Target>>;
  targets->push_back(std::make_unique<Target>(Target{toolkit, form, control}));
  return targets->back().get();
}

int g_xError = 0;
int NoteXError(Display*, XErrorEvent*) {
  g_xError = 1;
  return 0;
}

// The screen rectangle of a window of the display that is not ours; false when `id` names none.
bool ForeignWindowArea(unsigned long id, int& x, int& y, int& w, int& h) {
  g_xError = 0;
  XSync(fl_display, False);
  auto previous = XSetErrorHandler(NoteXError);
  XWindowAttributes attributes{};
  Window child = 0;
  const bool found = XGetWindowAttributes(fl_display, static_cast<Window>(id), &attributes) != 0 &&
                     XTranslateCoordinates(fl_display, static_cast<Window>(id), attributes.root, 0, 0, &x, &y, &child);
  XSync(fl_display, False);
  XSetErrorHandler(previous);
  w = attributes.width;
  h = attributes.height;
  return found && !g_xError;
}

void WindowClosing(Fl_Widget*, void* data) {
  auto* target = static_cast<Target*>(data);
  const bool escape = Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape;
  if (escape && target->form->CancelButton) {
    target->toolkit->Pull(*target->form);
    if (target->form->CancelButton->Enabled && target->form->CancelButton->OnClick) target->form->CancelButton->OnClick();
    return;
  }
  target->form->Hide();  // closing through the frame: as Cancel, nothing stored
}

void ButtonPressed(Fl_Widget*, void* data) {
  auto* target = static_cast<Target*>(data);
  target->toolkit->Pull(*target->form);
  target->control->SetFocus();
  if (target->control->OnClick) target->control->OnClick();
  if (target->form->Visible()) target->toolkit->Push(*target->form);
}

void Changed(Fl_Widget*, void* data) {
  auto* target = static_cast<Target*>(data);
  target->toolkit->Pull(*target->form);
}

void ComboChanged(Fl_Widget* widget, void* data) {
  auto* target = static_cast<Target*>(data);
  auto* combo = static_cast<Fl_Input_Choice*>(widget);
  // A picked row comes back with its menu label; the control keeps the row's own text.
  const Fl_Menu_Item* picked = combo->menubutton()->mvalue();
  const int row = combo->menubutton()->value();
  if (picked && row >= 0 && row < target->control->ListCount() && picked->label() &&
      std::string(combo->value()) == picked->label()) {
    target->control->SetListIndex(row);
    combo->value(ToUtf8(target->control->Text()).c_str());
  }
  target->toolkit->Pull(*target->form);
}

}  // namespace

bool OpenDisplay() {
  if (fl_display) return true;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  fl_open_display(display);
  return true;
}

Fl_Window* FltkToolkit::WindowOf(const Form& form) const {
  auto found = forms_.find(&form);
  return found == forms_.end() ? nullptr : found->second.window;
}

Fl_Widget* FltkToolkit::WidgetOf(const Control& control) const {
  auto found = forms_.find(&control.Owner());
  if (found == forms_.end()) return nullptr;
  auto widget = found->second.widgets.find(&control);
  return widget == found->second.widgets.end() ? nullptr : widget->second;
}

Fl_Window* FltkToolkit::Build(Form& form, Shown& shown) {
  auto* window = new Fl_Double_Window(form.Width(), form.Height());
  window->copy_label(ToUtf8(form.Title()).c_str());
  // FLTK moves the focus in the order the widgets were added: the tab order first.
  std::vector<Control*> order = form.TabOrder();
  for (const auto& control : form.Controls())
    if (std::find(order.begin(), order.end(), control.get()) == order.end()) order.push_back(control.get());
  for (Control* control : order) {
    const QvForms::Bounds& at = control->Position();
    Target* target = NewTarget(this, &form, control);
    Fl_Widget* widget = nullptr;
    switch (control->Kind()) {
      case ControlKind::Label: {
        auto* box = new Fl_Box(at.left, at.top, at.width, at.height);
        box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        widget = box;
        break;
      }
      case ControlKind::TextBox: {
        auto* input = new Fl_Input(at.left, at.top, at.width, at.height);
        input->when(FL_WHEN_CHANGED);
        input->callback(Changed, target);
        widget = input;
        break;
      }
      case ControlKind::ListBox: {
        auto* list = new Fl_Hold_Browser(at.left, at.top, at.width, at.height);
        list->format_char(0);
        list->when(FL_WHEN_CHANGED);
        list->callback(Changed, target);
        widget = list;
        break;
      }
      case ControlKind::DropDownList: {
        auto* choice = new Fl_Choice(at.left, at.top, at.width, at.height);
        choice->callback(Changed, target);
        widget = choice;
        break;
      }
      case ControlKind::ComboBox: {
        auto* combo = new Fl_Input_Choice(at.left, at.top, at.width, at.height);
        combo->when(FL_WHEN_CHANGED);
        combo->callback(ComboChanged, target);
        widget = combo;
        break;
      }
      case ControlKind::PushButton:
      case ControlKind::PictureButton: {
        auto* button = new Fl_Button(at.left, at.top, at.width, at.height);
        button->callback(ButtonPressed, target);
        if (control == form.DefaultButton) button->shortcut(FL_Enter);
        if (Fl_RGB_Image* image = PictureImage(control->Image)) {
          button->image(image);
          button->deimage(GreyedPictureImage(control->Image));
        }
        widget = button;
        break;
      }
      case ControlKind::EtchedLine: {
        auto* line = new Fl_Box(FL_ENGRAVED_BOX, at.left, at.top, at.width, std::max(at.height, 2), nullptr);
        widget = line;
        break;
      }
    }
    shown.widgets[control] = widget;
  }
  window->end();
  window->callback(WindowClosing, NewTarget(this, &form, nullptr));
  return window;
}

void FltkToolkit::Pull(Form& form) {
  auto found = forms_.find(&form);
  if (found == forms_.end()) return;
  for (const auto& [control, widget] : found->second.widgets) {
    auto* c = const_cast<Control*>(control);
    switch (c->Kind()) {
      case ControlKind::TextBox: {
        auto* input = static_cast<Fl_Input*>(widget);
        const std::string text = input->value();
        if (ToUtf16(text) != c->Text()) c->SetText(ToUtf16(text));
        const long a = CharacterOffset(text, std::min(input->position(), input->mark()));
        const long b = CharacterOffset(text, std::max(input->position(), input->mark()));
        c->SetSelection(a, b - a);
        break;
      }
      case ControlKind::ListBox:
        c->SetListIndex(static_cast<Fl_Hold_Browser*>(widget)->value() - 1);
        break;
      case ControlKind::DropDownList:
        c->SetListIndex(static_cast<Fl_Choice*>(widget)->value());
        break;
      case ControlKind::ComboBox: {
        const std::string text = static_cast<Fl_Input_Choice*>(widget)->value();
        if (ToUtf16(text) != c->Text()) c->SetText(ToUtf16(text));
        break;
      }
      default:
        break;
    }
    if (Fl::focus() == widget || (c->Kind() == ControlKind::ComboBox && Fl::focus() &&
                                  Fl::focus()->parent() == widget))
      form.SetFocus(c);
  }
}

void FltkToolkit::Push(Form& form) {
  auto found = forms_.find(&form);
  if (found == forms_.end()) return;
  Shown& shown = found->second;
  for (auto& [control, widget] : shown.widgets) {
    const bool keepAccessKey = control->Kind() == ControlKind::PushButton;
    if (control->Kind() == ControlKind::Label || keepAccessKey)
      widget->copy_label(PlainLabel(ToUtf8(control->Caption), keepAccessKey).c_str());
    if (!control->ToolTip.empty()) widget->copy_tooltip(ToUtf8(control->ToolTip).c_str());
    if (control->Enabled) widget->activate();
    else widget->deactivate();
    std::vector<FormText>& rows = shown.rows[control];
    const bool rowsChanged = rows != control->Items();
    switch (control->Kind()) {
      case ControlKind::TextBox: {
        auto* input = static_cast<Fl_Input*>(widget);
        const std::string text = ToUtf8(control->Text());
        if (text != input->value()) input->value(text.c_str());
        const long start = ByteOffset(control->Text(), control->SelStart());
        const long end = ByteOffset(control->Text(), control->SelStart() + control->SelLength());
        input->position(static_cast<int>(end), static_cast<int>(start));
        break;
      }
      case ControlKind::ListBox: {
        auto* list = static_cast<Fl_Hold_Browser*>(widget);
        if (rowsChanged) {
          list->clear();
          for (const FormText& row : control->Items()) list->add(ToUtf8(row).c_str());
        }
        list->value(static_cast<int>(control->ListIndex() + 1));
        break;
      }
      case ControlKind::DropDownList: {
        auto* choice = static_cast<Fl_Choice*>(widget);
        if (rowsChanged) {
          choice->clear();
          for (const FormText& row : control->Items()) choice->add(MenuLabel(ToUtf8(row)).c_str());
        }
        choice->value(static_cast<int>(control->ListIndex()));
        break;
      }
      case ControlKind::ComboBox: {
        auto* combo = static_cast<Fl_Input_Choice*>(widget);
        if (rowsChanged) {
          combo->clear();
          for (const FormText& row : control->Items()) combo->add(MenuLabel(ToUtf8(row)).c_str());
        }
        const std::string text = ToUtf8(control->Text());
        if (text != combo->value()) combo->value(text.c_str());
        break;
      }
      default:
        break;
    }
    if (rowsChanged) rows = control->Items();
  }
  if (shown.window->shown() && form.Focus()) {
    auto widget = shown.widgets.find(form.Focus());
    if (widget != shown.widgets.end() && Fl::focus() != widget->second) {
      Fl_Widget* target = widget->second;
      if (form.Focus()->Kind() == ControlKind::ComboBox) target = static_cast<Fl_Input_Choice*>(target)->input();
      target->take_focus();
    }
  }
}

void FltkToolkit::Place(Fl_Window& window, HWND owner) {
  int x = 0, y = 0, w = Fl::w(), h = Fl::h();
  Form* ownerForm = FormOfHandle(owner);
  if (Fl_Window* parent = ownerForm ? WindowOf(*ownerForm) : nullptr) {
    x = parent->x();
    y = parent->y();
    w = parent->w();
    h = parent->h();
  } else if (owner && !ownerForm) {
    int fx = 0, fy = 0, fw = 0, fh = 0;
    if (ForeignWindowArea(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(owner)), fx, fy, fw, fh)) {
      x = fx;
      y = fy;
      w = fw;
      h = fh;
    }
  }
  window.position(std::max(0, x + (w - window.w()) / 2), std::max(0, y + (h - window.h()) / 2));
}

// Keeps `window` above its owner: our own window, or a window of the display given by its id.
void KeepAbove(Fl_Window& window, HWND owner, const FltkToolkit& toolkit) {
  if (!owner) return;
  Window above = 0;
  if (Form* ownerForm = FormOfHandle(owner)) {
    if (Fl_Window* parent = toolkit.WindowOf(*ownerForm); parent && parent->shown()) above = fl_xid(parent);
  } else {
    int x = 0, y = 0, w = 0, h = 0;
    const auto id = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(owner));
    if (ForeignWindowArea(id, x, y, w, h)) above = static_cast<Window>(id);
  }
  if (above) XSetTransientForHint(fl_display, fl_xid(&window), above);
}

bool FltkToolkit::RunModal(Form& form, std::string& problem) {
  if (!OpenDisplay()) {
    problem = "the dialog \"" + ToUtf8(form.Title()) + "\" can't be shown: no display can be opened";
    return false;
  }
  Shown& shown = forms_[&form];
  shown = Shown{};
  std::unique_ptr<Fl_Window> window(Build(form, shown));
  shown.window = window.get();
  shown_.push_back(&form);
  Push(form);
  Place(*window, form.OwnerWindow());
  window->set_modal();
  window->show();
  KeepAbove(*window, form.OwnerWindow(), *this);
  Push(form);  // the focus, now that the window is shown
  while (form.Visible()) {
    if (!window->shown()) {
      form.Hide();
      break;
    }
    Fl::wait(0.2);  // a form hidden by a timer's callback is noticed without waiting for an event
  }
  window->hide();
  shown_.pop_back();
  forms_.erase(&form);
  Fl::flush();
  return true;
}

void FltkToolkit::ShowPopupMenu(Form& form, QvForms::PopupMenu& menu, int x, int y) {
  Fl_Window* window = WindowOf(form);
  if (!window || !window->shown()) return;
  std::vector<std::string> labels;
  for (const QvForms::MenuItem& item : menu.Items) labels.push_back(MenuLabel(ToUtf8(item.Caption)));
  std::vector<Fl_Menu_Item> items(labels.size() + 1);
  for (size_t i = 0; i < labels.size(); ++i) items[i].text = labels[i].c_str();
  Pull(form);
  // popup() counts from the window of the last event; turn the form's point into that.
  const int X = window->x() + x - (Fl::event_x_root() - Fl::event_x());
  const int Y = window->y() + y - (Fl::event_y_root() - Fl::event_y());
  const Fl_Menu_Item* chosen = items[0].popup(X, Y);
  if (!chosen) return;  // dismissed
  const size_t index = static_cast<size_t>(chosen - items.data());
  if (index < menu.Items.size() && menu.Items[index].OnChoose) menu.Items[index].OnChoose();
  if (form.Visible()) Push(form);
}

namespace {

int DefaultAnswer(UINT type) { return (type & 0x0F) == MB_YESNO ? IDYES : IDOK; }
int CancelAnswer(UINT type) {
  switch (type & 0x0F) {
    case MB_YESNO: return IDNO;
    case MB_OKCANCEL: return IDCANCEL;
    default: return IDOK;
  }
}

// The stop sign: a red disc with a white cross.
class StopIcon final : public Fl_Box {
 public:
  StopIcon(int x, int y) : Fl_Box(x, y, 32, 32) {}
  void draw() override {
    fl_color(FL_RED);
    fl_pie(x(), y(), 32, 32, 0, 360);
    fl_color(FL_WHITE);
    fl_line_style(FL_SOLID, 4);
    fl_line(x() + 10, y() + 10, x() + 22, y() + 22);
    fl_line(x() + 22, y() + 10, x() + 10, y() + 22);
    fl_line_style(0);
  }
};

struct BoxAnswer {
  Fl_Window* window;
  int answer;
};

}  // namespace

int FltkToolkit::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  if (!OpenDisplay()) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return DefaultAnswer(type);
  }
  std::string body;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) body += text[i];
  const bool stop = (type & 0xF0) == MB_ICONSTOP;
  fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
  int textW = 380, textH = 0;
  fl_measure(PlainLabel(body, false).c_str(), textW, textH);
  const int left = stop ? 60 : 16;
  const int width = std::max(left + textW + 16, 220);
  const int height = std::max(textH, 32) + 76;
  Fl_Double_Window box(width, height);
  box.copy_label(caption.c_str());
  if (stop) new StopIcon(16, 16);
  auto* message = new Fl_Box(left, 16, textW, std::max(textH, 32));
  message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  message->copy_label(PlainLabel(body, false).c_str());
  BoxAnswer answer{&box, CancelAnswer(type)};
  struct ButtonSpec {
    const char* label;
    int result;
  };
  std::vector<ButtonSpec> buttons;
  switch (type & 0x0F) {
    case MB_OKCANCEL: buttons = {{"OK", IDOK}, {"Cancel", IDCANCEL}}; break;
    case MB_YESNO: buttons = {{"&Yes", IDYES}, {"&No", IDNO}}; break;
    default: buttons = {{"OK", IDOK}}; break;
  }
  static auto* results = new std::vector<std::unique_ptr<std::pair<BoxAnswer*, int>>>;
  int bx = width - 16 - static_cast<int>(buttons.size()) * 90 + 10;
  for (size_t i = 0; i < buttons.size(); ++i, bx += 90) {
    auto* button = new Fl_Button(bx, height - 44, 80, 28, buttons[i].label);
    if (i == 0) button->shortcut(FL_Enter);
    results->push_back(std::make_unique<std::pair<BoxAnswer*, int>>(&answer, buttons[i].result));
    button->callback(
        [](Fl_Widget*, void* data) {
          auto* pressed = static_cast<std::pair<BoxAnswer*, int>*>(data);
          pressed->first->answer = pressed->second;
          pressed->first->window->hide();
        },
        results->back().get());
  }
  box.end();
  box.callback([](Fl_Widget* window, void*) { window->hide(); });  // Escape, the frame: cancel
  Place(box, owner);
  box.set_modal();
  Fl_Window* previous = messageBox_;
  messageBox_ = &box;
  box.show();
  KeepAbove(box, owner, *this);
  while (box.shown()) Fl::wait(0.2);
  messageBox_ = previous;
  return answer.answer;
}

}  // namespace qv::ui::fltk

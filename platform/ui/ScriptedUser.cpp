#include <qv/scripted_user.h>
#include <qv/utf.h>
#include <winuser.h>

namespace qv::ui {
namespace {

using QvForms::Control;
using QvForms::ControlKind;

Step Make(Step::Kind kind, std::string form, std::string control, std::string text = {}, long first = 0,
          long length = 0) {
  Step step;
  step.kind = kind;
  step.form = std::move(form);
  step.control = std::move(control);
  step.text = std::move(text);
  step.first = first;
  step.length = length;
  return step;
}

bool HoldsText(const Control& control) {
  return control.Kind() == ControlKind::TextBox || control.Kind() == ControlKind::ComboBox;
}

bool HoldsRows(const Control& control) {
  return control.Kind() == ControlKind::ListBox || control.Kind() == ControlKind::DropDownList ||
         control.Kind() == ControlKind::ComboBox;
}

bool IsButton(const Control& control) {
  return control.Kind() == ControlKind::PushButton || control.Kind() == ControlKind::PictureButton;
}

bool IsStopBox(UINT type) { return (type & 0xF0) == MB_ICONSTOP; }

}  // namespace

Step Step::Type(std::string control, std::string text, std::string form) {
  return Make(Kind::Type, std::move(form), std::move(control), std::move(text));
}
Step Step::Select(std::string control, long row, std::string form) {
  return Make(Kind::Select, std::move(form), std::move(control), {}, row);
}
Step Step::SelectItem(std::string control, std::string text, std::string form) {
  return Make(Kind::SelectItem, std::move(form), std::move(control), std::move(text));
}
Step Step::SelectText(std::string control, long start, long length, std::string form) {
  return Make(Kind::SelectText, std::move(form), std::move(control), {}, start, length);
}
Step Step::Click(std::string control, std::string form) {
  return Make(Kind::Click, std::move(form), std::move(control));
}
Step Step::Key(std::string key, std::string form) {
  return Make(Kind::Key, std::move(form), {}, std::move(key));
}
Step Step::Inspect(std::function<void(QvForms::Form&)> look) {
  Step step = Make(Kind::Inspect, {}, {});
  step.inspect = std::move(look);
  return step;
}
Step Step::Menu(std::string item) { return Make(Kind::Menu, {}, {}, std::move(item)); }
Step Step::Answer(long button) { return Make(Kind::Answer, {}, {}, {}, button); }
Step Step::Close(std::string form) { return Make(Kind::Close, std::move(form), {}); }

ScriptedUser::ScriptedUser(std::vector<Step> steps) : steps_(std::move(steps)) {}

void ScriptedUser::AddSteps(std::vector<Step> steps) {
  for (Step& step : steps) steps_.push_back(std::move(step));
}

void ScriptedUser::Problem(std::string text) {
  problems_.push_back(std::move(text));
  stopped_ = true;  // the steps that follow were meant for a state that was not reached
}

bool ScriptedUser::RunModal(QvForms::Form& form, std::string&) {
  const std::string title = qv::ToUtf8(form.Title());
  forms_.push_back({title, form.OwnerWindow()});
  while (form.Visible()) {
    if (stopped_) {
      form.Hide();  // closed through its frame
      break;
    }
    if (next_ >= steps_.size()) {
      Problem("no answer was given for the dialog \"" + title + "\"");
      continue;
    }
    const Step step = steps_[next_++];
    if (!step.form.empty() && step.form != title) {
      Problem("a step for the dialog \"" + step.form + "\" met the dialog \"" + title + "\"");
      continue;
    }
    Play(form, step);
  }
  return true;
}

void ScriptedUser::Play(QvForms::Form& form, const Step& step) {
  const std::string title = qv::ToUtf8(form.Title());
  if (step.kind == Step::Kind::Close) {
    form.Hide();
    return;
  }
  if (step.kind == Step::Kind::Inspect) {
    if (step.inspect) step.inspect(form);
    return;
  }
  if (step.kind == Step::Kind::Key) {
    Press(form, step.text);
    return;
  }
  if (step.kind == Step::Kind::Menu || step.kind == Step::Kind::Answer) {
    Problem("no menu or message box is open in the dialog \"" + title + "\"");
    return;
  }
  Control* control = form.Find(qv::ToUtf16(step.control));
  if (!control) {
    Problem("the dialog \"" + title + "\" has no control \"" + step.control + "\"");
    return;
  }
  if (!control->Enabled) {
    Problem("\"" + step.control + "\" of the dialog \"" + title + "\" is disabled");
    return;
  }
  switch (step.kind) {
    case Step::Kind::Type:
      if (!HoldsText(*control) || control->Kind() == ControlKind::DropDownList) break;
      control->SetFocus();
      control->SetText(qv::ToUtf16(step.text));
      return;
    case Step::Kind::SelectText:
      if (control->Kind() != ControlKind::TextBox) break;
      control->SetFocus();
      control->SetSelection(step.first, step.length);
      return;
    case Step::Kind::Select:
      if (!HoldsRows(*control)) break;
      if (step.first < -1 || step.first >= control->ListCount()) {
        Problem("\"" + step.control + "\" has no row " + std::to_string(step.first + 1));
        return;
      }
      control->SetFocus();
      control->SetListIndex(step.first);
      return;
    case Step::Kind::SelectItem: {
      if (!HoldsRows(*control)) break;
      const auto wanted = qv::ToUtf16(step.text);
      for (long row = 0; row < control->ListCount(); ++row) {
        if (control->Items()[static_cast<size_t>(row)] != wanted) continue;
        control->SetFocus();
        control->SetListIndex(row);
        return;
      }
      Problem("\"" + step.control + "\" has no entry \"" + step.text + "\"");
      return;
    }
    case Step::Kind::Click:
      if (!IsButton(*control)) break;
      control->SetFocus();
      if (control->OnClick) control->OnClick();
      return;
    default:
      break;
  }
  Problem("\"" + step.control + "\" of the dialog \"" + title + "\" can't take that step");
}

void ScriptedUser::Press(QvForms::Form& form, const std::string& key) {
  Control* button = nullptr;
  if (key == "Enter") {
    Control* focus = form.Focus();
    button = focus && IsButton(*focus) ? focus : form.DefaultButton;
  } else if (key == "Escape") {
    button = form.CancelButton;
    if (!button) {
      form.Hide();
      return;
    }
  } else {
    Problem("the key \"" + key + "\" can't be pressed");
    return;
  }
  if (button && button->Enabled && button->OnClick) button->OnClick();
}

void ScriptedUser::ShowPopupMenu(QvForms::Form&, QvForms::PopupMenu& menu, int x, int y) {
  menuLeft_ = x;
  menuTop_ = y;
  if (stopped_ || next_ >= steps_.size() || steps_[next_].kind != Step::Kind::Menu) return;  // dismissed
  const std::u16string wanted = qv::ToUtf16(steps_[next_++].text);
  for (QvForms::MenuItem& item : menu.Items) {
    if (item.Name == wanted || item.Caption == wanted || u"?" + item.Name + u"?" == wanted) {
      if (item.OnChoose) item.OnChoose();
      return;
    }
  }
  Problem("the menu \"" + qv::ToUtf8(menu.Caption) + "\" has no item \"" + qv::ToUtf8(wanted) + "\"");
}

int ScriptedUser::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  int answer = (type & 0x0F) == MB_YESNO ? IDYES : IDOK;
  if (!stopped_ && next_ < steps_.size() && steps_[next_].kind == Step::Kind::Answer)
    answer = static_cast<int>(steps_[next_++].first);
  boxes_.push_back({owner, caption, text, type, answer});
  if (stopAtErrorBox_ && IsStopBox(type)) stopped_ = true;
  return answer;
}

size_t ScriptedUser::StepsLeft() const { return steps_.size() - next_; }

}  // namespace qv::ui

// The forms' own state. Toolkits read and change it; a form's window handle comes from the
// handle table, so the value can cross 32-bit interfaces.
#include <QvForms.h>
#include <qv/toolkit.h>

#include <algorithm>
#include <string>

#include "WindowHandles.h"

namespace QvForms {

Control::Control(Form& form, ControlKind kind, FormText name, Bounds bounds)
    : form_(form), kind_(kind), name_(std::move(name)), bounds_(bounds) {}

void Control::SetText(FormText text) {
  text_ = std::move(text);
  selStart_ = static_cast<long>(text_.size());
  selLength_ = 0;
}

void Control::SetSelection(long start, long length) {
  const long size = static_cast<long>(text_.size());
  selStart_ = std::clamp(start, 0L, size);
  selLength_ = std::clamp(length, 0L, size - selStart_);
}

void Control::ReplaceSelection(const FormText& text) {
  text_.replace(static_cast<size_t>(selStart_), static_cast<size_t>(selLength_), text);
  selStart_ += static_cast<long>(text.size());
  selLength_ = 0;
}

void Control::AddItem(FormText item) { items_.push_back(std::move(item)); }

void Control::Clear() {
  items_.clear();
  listIndex_ = -1;
}

void Control::SetListIndex(long index) {
  listIndex_ = index >= 0 && index < ListCount() ? index : -1;
  if (listIndex_ >= 0 && (kind_ == ControlKind::DropDownList || kind_ == ControlKind::ComboBox))
    SetText(items_[static_cast<size_t>(listIndex_)]);
}

void Control::SetFocus() { form_.SetFocus(this); }

Form::Form(FormText title, int width, int height)
    : title_(std::move(title)), width_(width), height_(height), handle_(qv::ui::RegisterWindow(this)) {}

Form::~Form() {
  qv::ui::UnregisterWindow(handle_);
  if (auto toolkit = qv::ui::CurrentToolkit()) toolkit->FormDestroyed(*this);
}

Control& Form::Add(ControlKind kind, FormText name, Bounds bounds) {
  controls_.push_back(std::make_unique<Control>(*this, kind, std::move(name), bounds));
  if (!focus_) focus_ = controls_.back().get();
  return *controls_.back();
}

Control* Form::Find(const FormText& name) const {
  for (const auto& control : controls_)
    if (control->Name() == name) return control.get();
  return nullptr;
}

BOOL Form::ShowModal() {
  std::shared_ptr<qv::ui::Toolkit> toolkit = qv::ui::CurrentToolkit();
  // A form shown again starts, like a new one, at the first control of its tab order that
  // can take the focus.
  for (Control* control : tabOrder_) {
    if (control->Enabled) {
      focus_ = control;
      break;
    }
  }
  visible_ = true;
  std::string problem;
  if (toolkit->RunModal(*this, problem)) {
    visible_ = false;
    return TRUE;
  }
  visible_ = false;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

void Form::ShowPopupMenu(PopupMenu& menu, int x, int y) { qv::ui::CurrentToolkit()->ShowPopupMenu(*this, menu, x, y); }

}  // namespace QvForms

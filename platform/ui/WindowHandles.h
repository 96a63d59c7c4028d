// The window handle table: forms get 32-bit handle values, never reused while the process
// runs, so a stale or foreign value names no form and is ignored.
#pragma once
#include <QvForms.h>

namespace qv::ui {

HWND RegisterWindow(QvForms::Form* form);
void UnregisterWindow(HWND window);

}  // namespace qv::ui

#include "WindowHandles.h"

#include <qv/toolkit.h>
#include <winuser.h>

#include <cstdint>
#include <map>
#include <mutex>

namespace qv::ui {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::map<uint32_t, QvForms::Form*> forms;
  uint32_t next = 0x00010010;  // handle values look like a window system's, and are never 0
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // outlives every form, even static ones
  return *table;
}

uint32_t ValueOf(HWND window) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window)); }

bool Fits32(HWND window) { return reinterpret_cast<uintptr_t>(window) <= UINT32_MAX; }

}  // namespace

HWND RegisterWindow(QvForms::Form* form) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  const uint32_t value = table.next;
  table.next += 4;
  table.forms[value] = form;
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

void UnregisterWindow(HWND window) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  table.forms.erase(ValueOf(window));
}

QvForms::Form* FormOfHandle(HWND window) {
  if (!window || !Fits32(window)) return nullptr;
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto found = table.forms.find(ValueOf(window));
  return found == table.forms.end() ? nullptr : found->second;
}

}  // namespace qv::ui

extern "C" BOOL WINAPI IsWindow(HWND hWnd) { return qv::ui::FormOfHandle(hWnd) ? TRUE : FALSE; }

// The owner is kept as the value given: a form's handle, or a window of the display that the
// toolkit knows how to find (an X11 window id); 0 means none.
extern "C" LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
  QvForms::Form* form = qv::ui::FormOfHandle(hWnd);
  if (!form) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (nIndex != GWL_HWNDPARENT) {
    SetLastError(ERROR_INVALID_PARAMETER);  // no other window data is kept
    return 0;
  }
  const LONG previous = static_cast<LONG>(reinterpret_cast<uintptr_t>(form->OwnerWindow()));
  form->SetOwnerWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<uint32_t>(dwNewLong))));
  SetLastError(ERROR_SUCCESS);
  return previous;
}

#include <qv/toolkit.h>
#include <qv/utf.h>
#include <winuser.h>

// Message boxes are the toolkit's: FLTK draws one, the scripted user records and answers it,
// and without either the box is told on standard error.
extern "C" int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  try {
    return qv::ui::CurrentToolkit()->MessageBox(hWnd, lpText ? qv::ToUtf8(lpText) : "",
                                                lpCaption ? qv::ToUtf8(lpCaption) : "Error", uType);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  try {
    return qv::ui::CurrentToolkit()->MessageBox(hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

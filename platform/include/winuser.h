// User interface services the system shows: message boxes owned by a window, and window
// owners. Window handles are 32-bit values; one that names no window is ignored.
#pragma once
#include "windef.h"

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_YESNO 0x00000004L
#define MB_ICONHAND 0x00000010L
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION 0x00000040L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define GWL_HWNDPARENT (-8)
#define SW_SHOWNORMAL 1

extern "C" {
// Only GWL_HWNDPARENT is kept: it makes `dwNewLong` (a window handle, 0 for none) the owner of
// `hWnd`. Returns the previous owner, or 0 with the last error set.
LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong);
BOOL WINAPI IsWindow(HWND hWnd);
int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
}

// The job processor's dual interfaces as its type library fixes them: identifiers and the order
// of the slots after the seven IDispatch members. The monitor binds to these slots without
// linking the job processor; the job processor implements them.
#pragma once
#include <windows.h>
#include <qv/macros.h>

// _Job {16C68C43-571D-4A21-B336-E68FAA786F3F}, class Job {2C126914-4742-4BB3-A78C-E334633BDF47}
inline constexpr IID IID__Job = {0x16C68C43, 0x571D, 0x4A21, {0xB3, 0x36, 0xE6, 0x8F, 0xAA, 0x78, 0x6F, 0x3F}};
inline constexpr CLSID CLSID_Job = {0x2C126914, 0x4742, 0x4BB3, {0xA7, 0x8C, 0xE3, 0x34, 0x63, 0x3B, 0xDF, 0x47}};

// _Controller {C3F63359-B924-4E5E-AFA7-04822841BFAB},
// class Controller {076C82B8-FDCD-45BD-BD65-594698A65813}
inline constexpr IID IID__Controller = {0xC3F63359, 0xB924, 0x4E5E, {0xAF, 0xA7, 0x04, 0x82, 0x28, 0x41, 0xBF, 0xAB}};
inline constexpr CLSID CLSID_Controller = {0x076C82B8, 0xFDCD, 0x45BD, {0xBD, 0x65, 0x59, 0x46, 0x98, 0xA6, 0x58, 0x13}};

// _RawPrint {89EF40AE-3E7F-4B1E-A2F5-B9D37043EE05}, class RawPrint {4728B6A5-2651-4AA7-AA16-43DFD75AEE05}
inline constexpr IID IID__RawPrint = {0x89EF40AE, 0x3E7F, 0x4B1E, {0xA2, 0xF5, 0xB9, 0xD3, 0x70, 0x43, 0xEE, 0x05}};
inline constexpr CLSID CLSID_RawPrint = {0x4728B6A5, 0x2651, 0x4AA7, {0xAA, 0x16, 0x43, 0xDF, 0xD7, 0x5A, 0xEE, 0x05}};

// _ControllerFilePath {6F0885A6-C362-47CF-BA26-95DDE8AB89BF},
// class ControllerFilePath {73747535-7D64-4DD6-A31A-BAE385B30EDC}
inline constexpr IID IID__ControllerFilePath = {0x6F0885A6, 0xC362, 0x47CF, {0xBA, 0x26, 0x95, 0xDD, 0xE8, 0xAB, 0x89, 0xBF}};
inline constexpr CLSID CLSID_ControllerFilePath = {0x73747535, 0x7D64, 0x4DD6, {0xA3, 0x1A, 0xBA, 0xE3, 0x85, 0xB3, 0x0E, 0xDC}};

#define PROGID_Job WSTR("MarrowjetUI.Job")
#define PROGID_Controller WSTR("MarrowjetUI.Controller")
#define PROGID_RawPrint WSTR("MarrowjetUI.RawPrint")
#define PROGID_ControllerFilePath WSTR("MarrowjetUI.ControllerFilePath")

// One finished job. Strings in by value, values out through the trailing pointer.
// DateNow is the local date and time in whole seconds.
struct _Job : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE put_Size(LONG value) = 0;                   // 1
  virtual HRESULT STDMETHODCALLTYPE get_Size(LONG* value) = 0;                  // 2
  virtual HRESULT STDMETHODCALLTYPE put_Priority(LONG value) = 0;               // 3
  virtual HRESULT STDMETHODCALLTYPE get_Priority(LONG* value) = 0;              // 4
  virtual HRESULT STDMETHODCALLTYPE put_TotalPages(LONG value) = 0;             // 5
  virtual HRESULT STDMETHODCALLTYPE get_TotalPages(LONG* value) = 0;            // 6
  virtual HRESULT STDMETHODCALLTYPE put_DriverName(BSTR value) = 0;             // 7
  virtual HRESULT STDMETHODCALLTYPE get_DriverName(BSTR* value) = 0;            // 8
  virtual HRESULT STDMETHODCALLTYPE put_DataType(BSTR value) = 0;               // 9
  virtual HRESULT STDMETHODCALLTYPE get_DataType(BSTR* value) = 0;              // 10
  virtual HRESULT STDMETHODCALLTYPE put_NotifyName(BSTR value) = 0;             // 11
  virtual HRESULT STDMETHODCALLTYPE get_NotifyName(BSTR* value) = 0;            // 12
  virtual HRESULT STDMETHODCALLTYPE put_DocumentName(BSTR value) = 0;           // 13
  virtual HRESULT STDMETHODCALLTYPE get_DocumentName(BSTR* value) = 0;          // 14
  virtual HRESULT STDMETHODCALLTYPE put_UserName(BSTR value) = 0;               // 15
  virtual HRESULT STDMETHODCALLTYPE get_UserName(BSTR* value) = 0;              // 16
  virtual HRESULT STDMETHODCALLTYPE put_MachineName(BSTR value) = 0;            // 17
  virtual HRESULT STDMETHODCALLTYPE get_MachineName(BSTR* value) = 0;           // 18
  virtual HRESULT STDMETHODCALLTYPE put_PrinterName(BSTR value) = 0;            // 19
  virtual HRESULT STDMETHODCALLTYPE GetSerialNumber(LONG* result) = 0;          // 20
  virtual HRESULT STDMETHODCALLTYPE get_PrinterName(BSTR* value) = 0;           // 21
  virtual HRESULT STDMETHODCALLTYPE put_ID(LONG value) = 0;                     // 22
  virtual HRESULT STDMETHODCALLTYPE get_ID(LONG* value) = 0;                    // 23
  virtual HRESULT STDMETHODCALLTYPE Convert(BSTR* Source, DATE* DateNow, BSTR* result) = 0;  // 24
};

// The print entry and the port management calls.
struct _Controller : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE PrintFile(BSTR PortName, BSTR TempFilePath, _Job* JobInfo) = 0;  // 1
  virtual HRESULT STDMETHODCALLTYPE ConfigurePort(BSTR PortName, LONG hwnd, VARIANT_BOOL* result) = 0;  // 2
  virtual HRESULT STDMETHODCALLTYPE AddPort(LONG hwnd, VARIANT_BOOL* result) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE OnOk() = 0;                                 // 4
  virtual HRESULT STDMETHODCALLTYPE OnCancel() = 0;                             // 5
  virtual HRESULT STDMETHODCALLTYPE OnAdd() = 0;                                // 6
  virtual HRESULT STDMETHODCALLTYPE OnDelete() = 0;                             // 7
  virtual HRESULT STDMETHODCALLTYPE OnMoveUp() = 0;                             // 8
  virtual HRESULT STDMETHODCALLTYPE OnMoveDown() = 0;                           // 9
  virtual HRESULT STDMETHODCALLTYPE RefreshActionList() = 0;                    // 10
  virtual HRESULT STDMETHODCALLTYPE DeletePort(BSTR PortName) = 0;              // 11
  virtual HRESULT STDMETHODCALLTYPE About() = 0;                                // 12
};

// Raw printing of a file or a text to a named printer.
struct _RawPrint : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE GetError(LONG* result) = 0;                          // 1
  virtual HRESULT STDMETHODCALLTYPE PrintString(BSTR* strData, VARIANT_BOOL* result) = 0;  // 2
  virtual HRESULT STDMETHODCALLTYPE PrintFile(BSTR* strFileName, VARIANT_BOOL* result) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE put_DocumentName(BSTR value) = 0;                    // 4
  virtual HRESULT STDMETHODCALLTYPE get_DocumentName(BSTR* value) = 0;                   // 5
  virtual HRESULT STDMETHODCALLTYPE put_PrinterName(BSTR value) = 0;                     // 6
  virtual HRESULT STDMETHODCALLTYPE get_PrinterName(BSTR* value) = 0;                    // 7
};

// The file path template dialog's controller.
struct _ControllerFilePath : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OnOk() = 0;                                          // 1
  virtual HRESULT STDMETHODCALLTYPE OnCancel() = 0;                                      // 2
  virtual HRESULT STDMETHODCALLTYPE OnPopUp() = 0;                                       // 3
  virtual HRESULT STDMETHODCALLTYPE Show(BSTR* defaultPath, BSTR* result) = 0;           // 4
  virtual HRESULT STDMETHODCALLTYPE InsertText(BSTR* fieldCode) = 0;                     // 5
};

// Automation: OLE strings (length-prefixed, null-terminated UTF-16), dates and type libraries.
#pragma once
#include "objbase.h"

typedef enum tagSYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 } SYSKIND;

typedef struct tagTLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
} TLIBATTR, *LPTLIBATTR;

typedef enum tagTYPEKIND {
  TKIND_ENUM = 0,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
  TKIND_MAX
} TYPEKIND;
typedef LONG MEMBERID;

#ifndef TYPE_E_ELEMENTNOTFOUND
#define TYPE_E_ELEMENTNOTFOUND ((HRESULT)0x8002802BL)
#endif

struct ITypeComp;  // binding by name is not offered; named only for its slot below

// A loaded type library. The platform's libraries describe no types: they carry only their
// attributes, name and help string, so every type looked up is TYPE_E_ELEMENTNOTFOUND, and
// binding by name (GetTypeComp, IsName, FindName) answers E_NOTIMPL.
struct ITypeLib : public IUnknown {
  virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
  // A copy of the attributes, to be handed back through ReleaseTLibAttr.
  virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) = 0;
  // Index -1 is the library itself: its name and help string. Null out pointers are skipped.
  virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName,
                                                     BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                                     BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindName(LPOLESTR szNameBuf, ULONG lHashVal,
                                             ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                                             USHORT* pcFound) = 0;
  virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;
};

// A type library file (".tlb", the fallback beside a library whose record can't be read) is
// UTF-8 text, one "key=value" per line, LF or CRLF line ends, first line exactly
// "QUORVANE TYPELIB 1":
//   guid={1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}   required
//   version=1.0                                    required, major.minor in hex
//   lcid=409                                       required, hex
//   syskind=win32                                  required: win16, win32, mac or win64
//   flags=0                                        hex, default 0
//   name=MARROWJETLib                              default none
//   helpstring=Marrowjet 1.0 Type Library          default none
// Keys are lower-case and appear at most once; blank lines and lines starting with "#" are
// skipped; other keys are ignored. Anything else makes the file unreadable.

extern "C" {
BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz);
BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui);
void STDAPICALLTYPE SysFreeString(BSTR bstrString);
UINT STDAPICALLTYPE SysStringLen(BSTR pbstr);
UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr);

// DATE: days since 30 December 1899, the fraction the time of day.
INT STDAPICALLTYPE SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, double* pvtime);
INT STDAPICALLTYPE VariantTimeToSystemTime(double vtime, LPSYSTEMTIME lpSystemTime);

extern const IID IID_ITypeLib;

// Loads the type library that `szFile` carries: a library's exported record, or a type library
// file. `szFile` is a bare library name (looked for as LoadLibrary looks), an absolute host path
// or a drive-letter path. Anything that can't be loaded or read fails with
// TYPE_E_CANTLOADLIBRARY.
HRESULT STDAPICALLTYPE LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);

// Writes HKCR\TypeLib\{guid}\<major>.<minor> (hex) with, as default values: the help string
// (or the name when there is none); <lcid in hex>\win32 (win16, mac, win64 by system kind) =
// szFullPath; FLAGS = the flags in decimal; HELPDIR = szHelpDir (empty when null).
HRESULT STDAPICALLTYPE RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);

// Removes the registration RegisterTypeLib made for this locale and system kind; the version
// key goes with its last registration, the {guid} key with its last version. A registration
// that is not there answers TYPE_E_LIBNOTREGISTERED and changes nothing.
HRESULT STDAPICALLTYPE UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                         SYSKIND syskind);
}

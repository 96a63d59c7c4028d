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

extern "C" {
BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz);
BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui);
void STDAPICALLTYPE SysFreeString(BSTR bstrString);
UINT STDAPICALLTYPE SysStringLen(BSTR pbstr);
UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr);

// DATE: days since 30 December 1899, the fraction the time of day.
INT STDAPICALLTYPE SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, double* pvtime);
INT STDAPICALLTYPE VariantTimeToSystemTime(double vtime, LPSYSTEMTIME lpSystemTime);
}

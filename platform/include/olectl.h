// OLE controls: here only the results of self-registration.
#pragma once
#include "winerror.h"

#define SELFREG_E_FIRST ((HRESULT)0x80040200L)
#define SELFREG_E_LAST ((HRESULT)0x8004020FL)
#define SELFREG_E_TYPELIB ((HRESULT)0x80040200L)
#define SELFREG_E_CLASS ((HRESULT)0x80040201L)

// Everything the monitor and the job processor call, under the names they were written against.
#pragma once
#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winreg.h"
#include "winspool.h"
#include "winuser.h"
#include "objbase.h"
#include "oleauto.h"

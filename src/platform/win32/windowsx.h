// The message crackers the program uses.
#pragma once

#include "platform/win32/windef.h"

// The signed coordinates a mouse message carries in lParam.
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))

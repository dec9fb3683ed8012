// All of the Windows interfaces the program's shell uses.
#pragma once

#include "platform/win32/commctrl.h"
#include "platform/win32/commdlg.h"
#include "platform/win32/dialog_template.h"
#include "platform/win32/shellapi.h"
#include "platform/win32/winbase.h"
#include "platform/win32/windef.h"
#include "platform/win32/winerror.h"
#include "platform/win32/wingdi.h"
#include "platform/win32/winnls.h"
#include "platform/win32/winreg.h"
#include "platform/win32/winuser.h"

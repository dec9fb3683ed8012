#include "platform/win32/commctrl.h"
#include "platform/win32/window_internal.h"

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce)
{
    if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    win32::ensure_application();
    return TRUE;
}

// The machine-wide Direct3D settings key, read-only.
#include "texture/decoders/direct3d_settings.h"

#include "platform/win32/winerror.h"
#include "platform/win32/winreg.h"

int read_direct3d_dword(const char* name, DWORD* value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Direct3D", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = REG_DWORD;
    DWORD data = 0;
    DWORD size = sizeof data;
    LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return 0;
    *value = data;
    return 1;
}

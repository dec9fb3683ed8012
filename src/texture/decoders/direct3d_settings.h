// The machine-wide Direct3D settings that tune texture loading ("DisableMMX",
// "DoNotMute"), read from the registry under HKEY_LOCAL_MACHINE. They live
// beside the decoders because the JPEG decoder is their first reader.
#pragma once

#include "platform/win32/windef.h"

// Reads the REG_DWORD `name` under the Direct3D settings key. Returns 1 and
// stores the value when it is present, 0 (value untouched) when it is absent.
int read_direct3d_dword(const char* name, DWORD* value);

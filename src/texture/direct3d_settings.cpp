// Direct3D settings from the registry. Until the registry layer is part of the
// build every value reads as absent, which leaves the defaults in force.
#include "texture/direct3d_settings.h"

int read_direct3d_dword(const char* name, DWORD* value)
{
    (void)name;
    (void)value;
    return 0;
}

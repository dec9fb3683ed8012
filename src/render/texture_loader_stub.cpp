// Stands in for the texture loader until it is built: every load fails.
#include "texture/texture_loader.h"

HRESULT load_texture_file(IDirect3DDevice9*, const char*, IDirect3DTexture9**)
{
    return E_FAIL;
}

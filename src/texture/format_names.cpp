// The one table of pixel-format names; every tool that prints a format uses it.
#include "texture/format_names.h"

#include "texture/decoders/decoded_image.h"

namespace {

struct FormatName {
    DWORD format;
    const char* name;
};

#define FORMAT_NAME(f)                                                                                                 \
    {                                                                                                                  \
        f, #f                                                                                                          \
    }

const FormatName kFormatNames[] = {
    FORMAT_NAME(D3DFMT_UNKNOWN),
    FORMAT_NAME(D3DFMT_R8G8B8),
    FORMAT_NAME(D3DFMT_A8R8G8B8),
    FORMAT_NAME(D3DFMT_X8R8G8B8),
    FORMAT_NAME(D3DFMT_R5G6B5),
    FORMAT_NAME(D3DFMT_X1R5G5B5),
    FORMAT_NAME(D3DFMT_A1R5G5B5),
    FORMAT_NAME(D3DFMT_A4R4G4B4),
    FORMAT_NAME(D3DFMT_R3G3B2),
    FORMAT_NAME(D3DFMT_A8),
    FORMAT_NAME(D3DFMT_A8R3G3B2),
    FORMAT_NAME(D3DFMT_X4R4G4B4),
    FORMAT_NAME(D3DFMT_A2B10G10R10),
    FORMAT_NAME(D3DFMT_A8B8G8R8),
    FORMAT_NAME(D3DFMT_X8B8G8R8),
    FORMAT_NAME(D3DFMT_G16R16),
    FORMAT_NAME(D3DFMT_A2R10G10B10),
    FORMAT_NAME(D3DFMT_A16B16G16R16),
    FORMAT_NAME(D3DFMT_A8P8),
    FORMAT_NAME(D3DFMT_P8),
    FORMAT_NAME(D3DFMT_L8),
    FORMAT_NAME(D3DFMT_A8L8),
    FORMAT_NAME(D3DFMT_A4L4),
    FORMAT_NAME(D3DFMT_V8U8),
    FORMAT_NAME(D3DFMT_L6V5U5),
    FORMAT_NAME(D3DFMT_X8L8V8U8),
    FORMAT_NAME(D3DFMT_Q8W8V8U8),
    FORMAT_NAME(D3DFMT_V16U16),
    FORMAT_NAME(D3DFMT_A2W10V10U10),
    FORMAT_NAME(D3DFMT_UYVY),
    FORMAT_NAME(D3DFMT_R8G8_B8G8),
    FORMAT_NAME(D3DFMT_YUY2),
    FORMAT_NAME(D3DFMT_G8R8_G8B8),
    FORMAT_NAME(D3DFMT_DXT1),
    FORMAT_NAME(D3DFMT_DXT2),
    FORMAT_NAME(D3DFMT_DXT3),
    FORMAT_NAME(D3DFMT_DXT4),
    FORMAT_NAME(D3DFMT_DXT5),
    FORMAT_NAME(D3DFMT_D16_LOCKABLE),
    FORMAT_NAME(D3DFMT_D32),
    FORMAT_NAME(D3DFMT_D15S1),
    FORMAT_NAME(D3DFMT_D24S8),
    FORMAT_NAME(D3DFMT_D24X8),
    FORMAT_NAME(D3DFMT_D24X4S4),
    FORMAT_NAME(D3DFMT_D16),
    FORMAT_NAME(D3DFMT_D32F_LOCKABLE),
    FORMAT_NAME(D3DFMT_D24FS8),
    FORMAT_NAME(D3DFMT_L16),
    FORMAT_NAME(D3DFMT_VERTEXDATA),
    FORMAT_NAME(D3DFMT_INDEX16),
    FORMAT_NAME(D3DFMT_INDEX32),
    FORMAT_NAME(D3DFMT_Q16W16V16U16),
    FORMAT_NAME(D3DFMT_MULTI2_ARGB8),
    FORMAT_NAME(D3DFMT_R16F),
    FORMAT_NAME(D3DFMT_G16R16F),
    FORMAT_NAME(D3DFMT_A16B16G16R16F),
    FORMAT_NAME(D3DFMT_R32F),
    FORMAT_NAME(D3DFMT_G32R32F),
    FORMAT_NAME(D3DFMT_A32B32G32R32F),
    FORMAT_NAME(D3DFMT_CxV8U8),
    {LOADER_FMT_AL16, "AL16"},
    {LOADER_FMT_R16, "R16"},
};

} // namespace

const char* format_name(D3DFORMAT format)
{
    for (const FormatName& f : kFormatNames)
        if (f.format == static_cast<DWORD>(format))
            return f.name;
    return nullptr;
}

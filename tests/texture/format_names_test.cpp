#include <gtest/gtest.h>

#include "texture/decoders/decoded_image.h"
#include "texture/format_names.h"

namespace {

TEST(FormatNames, NamesAreThePlatformsAndTheLoadersOwn)
{
    struct Case {
        DWORD format;
        const char* name;
    } cases[] = {
        {D3DFMT_X8R8G8B8, "D3DFMT_X8R8G8B8"},           {D3DFMT_P8, "D3DFMT_P8"}, {D3DFMT_DXT1, "D3DFMT_DXT1"},
        {D3DFMT_A32B32G32R32F, "D3DFMT_A32B32G32R32F"}, {0x36314C41, "AL16"},     {0x36315220, "R16"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(format_name(static_cast<D3DFORMAT>(c.format)), c.name);
    EXPECT_EQ(format_name(static_cast<D3DFORMAT>(12345)), nullptr);
}

} // namespace

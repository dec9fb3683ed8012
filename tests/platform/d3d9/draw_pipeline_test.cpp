// FVF codes decoded with the platform's encoding.
#include <gtest/gtest.h>

#include "platform/d3d9/draw_pipeline.h"

namespace {

TEST(FvfTest, LayoutsOfTheProgramsCodes)
{
    struct Case {
        DWORD fvf;
        UINT size;
        int diffuse, texcoord;
        UINT bytes_read;
    } cases[] = {
        {D3DFVF_XYZ, 12, -1, -1, 12},                                // grid lines
        {D3DFVF_XYZ | D3DFVF_DIFFUSE, 16, 12, -1, 16},               // marker
        {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX2, 32, 12, 16, 24}, // the surface's 0x242
        {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 24, 12, 16, 24},
        {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 28, 16, 20, 28},
        {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1, 40, 24, 32, 40},
        {D3DFVF_XYZB2 | D3DFVF_DIFFUSE, 24, 20, -1, 24},
        {D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0), 20, -1, 16, 20},
        {D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE4(0), 28, -1, 12, 20},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fvf_vertex_size(c.fvf), c.size) << std::hex << c.fvf;
        VertexLayout layout;
        ASSERT_TRUE(decode_fvf(c.fvf, 0, &layout)) << std::hex << c.fvf;
        EXPECT_EQ(layout.diffuse_offset, c.diffuse) << std::hex << c.fvf;
        EXPECT_EQ(layout.texcoord_offset, c.texcoord) << std::hex << c.fvf;
        EXPECT_EQ(layout.bytes_read, c.bytes_read) << std::hex << c.fvf;
    }
    VertexLayout rhw;
    decode_fvf(D3DFVF_XYZRHW, 0, &rhw);
    EXPECT_TRUE(rhw.pretransformed);
}

TEST(FvfTest, StageReadsTheNamedCoordinateSet)
{
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_TEX3 | D3DFVF_TEXCOORDSIZE3(0) | D3DFVF_TEXCOORDSIZE1(1);
    EXPECT_EQ(fvf_vertex_size(fvf), 12u + 12 + 4 + 8);
    VertexLayout layout;
    ASSERT_TRUE(decode_fvf(fvf, 1, &layout));
    EXPECT_EQ(layout.texcoord_offset, 24);
    EXPECT_EQ(layout.texcoord_floats, 1);
    ASSERT_TRUE(decode_fvf(fvf, 2, &layout));
    EXPECT_EQ(layout.texcoord_offset, 28);
    EXPECT_EQ(layout.texcoord_floats, 2);
    ASSERT_TRUE(decode_fvf(fvf, 5, &layout));
    EXPECT_EQ(layout.texcoord_offset, -1) << "a set the vertex lacks reads (0, 0)";
}

TEST(FvfTest, CodesThatCannotBeDrawn)
{
    for (DWORD fvf : {DWORD(0), DWORD(D3DFVF_DIFFUSE), DWORD(D3DFVF_XYZ | D3DFVF_RESERVED0), DWORD(D3DFVF_XYZ | 0x2000),
                      DWORD(D3DFVF_XYZRHW | 0x4000), DWORD(D3DFVF_XYZ | 0x900)}) {
        VertexLayout layout;
        EXPECT_FALSE(decode_fvf(fvf, 0, &layout)) << std::hex << fvf;
        EXPECT_EQ(fvf_vertex_size(fvf), 0u) << std::hex << fvf;
    }
}

TEST(FvfTest, IndicesPerPrimitiveType)
{
    EXPECT_EQ(indices_for(D3DPT_POINTLIST, 5), 5u);
    EXPECT_EQ(indices_for(D3DPT_LINELIST, 5), 10u);
    EXPECT_EQ(indices_for(D3DPT_LINESTRIP, 5), 6u);
    EXPECT_EQ(indices_for(D3DPT_TRIANGLELIST, 5), 15u);
    EXPECT_EQ(indices_for(D3DPT_TRIANGLESTRIP, 5), 7u);
    EXPECT_EQ(indices_for(D3DPT_TRIANGLEFAN, 5), 7u);
    EXPECT_EQ(indices_for(D3DPRIMITIVETYPE(7), 5), 0u);
}

} // namespace

// Pixel-level drawing on tiny frames: fill convention, depth, lines,
// clipping, texturing and culling.
#include <algorithm>
#include <cmath>
#include <random>

#include "device_helpers.h"
#include "platform/d3d9/pixel_shader.h"
#include "platform/d3d9/rasterizer.h"

namespace {

constexpr D3DCOLOR kWhite = 0xFFFFFFFF;
constexpr uint32_t kWhitePixel = 0xFFFFFF;

class RasterTest : public DeviceTest {};

TEST_F(RasterTest, TriangleCoversPixelCentresByTopLeftRule)
{
    begin();
    // Clockwise on screen, so the default counter-clockwise culling keeps it.
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {at(0, 0), at(4, 0), at(0, 4)}, 1), S_OK);
    finish();
    EXPECT_EQ(mask(kWhitePixel),
              "####....\n"
              "###.....\n"
              "##......\n"
              "#.......\n"
              "........\n"
              "........\n"
              "........\n"
              "........\n");
}

TEST_F(RasterTest, TrianglesSharingAnEdgeCoverEachPixelOnce)
{
    // The two halves of the square (1,1)-(5,5), drawn one at a time: they
    // must split its 16 pixel centres without overlap or gap.
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {at(1, 1), at(5, 1), at(1, 5)}, 1), S_OK);
    finish();
    const std::string first = mask(kWhitePixel);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {at(5, 1), at(5, 5), at(1, 5)}, 1), S_OK);
    finish();
    const std::string second = mask(kWhitePixel);
    EXPECT_EQ(first,
              "........\n"
              ".####...\n"
              ".###....\n"
              ".##.....\n"
              ".#......\n"
              "........\n"
              "........\n"
              "........\n");
    EXPECT_EQ(second,
              "........\n"
              "........\n"
              "....#...\n"
              "...##...\n"
              "..###...\n"
              "........\n"
              "........\n"
              "........\n");
}

TEST_F(RasterTest, SubpixelVerticesCoverCentresInside)
{
    begin();
    // A square from 0.5 to 3.5: centres 1, 2 and 3 lie inside.
    ASSERT_EQ(draw_screen(
                  D3DPT_TRIANGLELIST,
                  {at(0.5f, 0.5f), at(3.5f, 0.5f), at(0.5f, 3.5f), at(3.5f, 0.5f), at(3.5f, 3.5f), at(0.5f, 3.5f)}, 2),
              S_OK);
    finish();
    EXPECT_EQ(mask(kWhitePixel),
              "........\n"
              ".###....\n"
              ".###....\n"
              ".###....\n"
              "........\n"
              "........\n"
              "........\n"
              "........\n");
}

TEST_F(RasterTest, CullModeDropsTheNamedWinding)
{
    struct Case {
        DWORD cull;
        bool clockwise_drawn, counter_clockwise_drawn;
    } cases[] = {
        {D3DCULL_CCW, true, false},
        {D3DCULL_CW, false, true},
        {D3DCULL_NONE, true, true},
    };
    for (const Case& c : cases) {
        device->SetRenderState(D3DRS_CULLMODE, c.cull);
        begin();
        ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {at(0, 0), at(4, 0), at(0, 4)}, 1), S_OK); // clockwise
        ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {at(8, 8), at(8, 4), at(4, 8)}, 1), S_OK); // counter-clockwise
        finish();
        EXPECT_EQ(window.pixel(0, 0) == kWhitePixel, c.clockwise_drawn) << "cull " << c.cull;
        EXPECT_EQ(window.pixel(7, 7) == kWhitePixel, c.counter_clockwise_drawn) << "cull " << c.cull;
    }
}

TEST_F(RasterTest, DepthTestHidesTheFartherTriangle)
{
    const std::vector<ScreenVertex> near_one = {at(0, 0, 0xFF00FF00, 0.2f), at(8, 0, 0xFF00FF00, 0.2f),
                                                at(0, 8, 0xFF00FF00, 0.2f)};
    const std::vector<ScreenVertex> far_one = {at(0, 0, 0xFFFF0000, 0.8f), at(8, 0, 0xFFFF0000, 0.8f),
                                               at(0, 8, 0xFFFF0000, 0.8f)};
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, near_one, 1), S_OK);
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, far_one, 1), S_OK);
    finish();
    EXPECT_EQ(window.pixel(1, 1), 0x00FF00u);

    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, far_one, 1), S_OK);
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, near_one, 1), S_OK);
    finish();
    EXPECT_EQ(window.pixel(1, 1), 0x00FF00u);

    // Without the depth test the last one drawn wins.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, near_one, 1), S_OK);
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, far_one, 1), S_OK);
    finish();
    EXPECT_EQ(window.pixel(1, 1), 0xFF0000u);
}

TEST_F(RasterTest, DepthWriteOffLeavesTheBufferAsCleared)
{
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST,
                          {at(0, 0, 0xFF00FF00, 0.2f), at(8, 0, 0xFF00FF00, 0.2f), at(0, 8, 0xFF00FF00, 0.2f)}, 1),
              S_OK);
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST,
                          {at(0, 0, 0xFFFF0000, 0.8f), at(8, 0, 0xFFFF0000, 0.8f), at(0, 8, 0xFFFF0000, 0.8f)}, 1),
              S_OK);
    finish();
    EXPECT_EQ(window.pixel(1, 1), 0xFF0000u);
}

TEST_F(RasterTest, DepthFunctionsCompareAgainstTheStoredValue)
{
    struct Case {
        DWORD func;
        bool drawn; // a triangle at depth 0.5 over one at 0.5
    } cases[] = {{D3DCMP_NEVER, false},       {D3DCMP_LESS, false},    {D3DCMP_EQUAL, true},
                 {D3DCMP_LESSEQUAL, true},    {D3DCMP_GREATER, false}, {D3DCMP_NOTEQUAL, false},
                 {D3DCMP_GREATEREQUAL, true}, {D3DCMP_ALWAYS, true}};
    for (const Case& c : cases) {
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
        begin();
        ASSERT_EQ(
            draw_screen(D3DPT_TRIANGLELIST, {at(0, 0, 0xFF0000FF), at(8, 0, 0xFF0000FF), at(0, 8, 0xFF0000FF)}, 1),
            S_OK);
        device->SetRenderState(D3DRS_ZFUNC, c.func);
        ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {at(0, 0), at(8, 0), at(0, 8)}, 1), S_OK);
        finish();
        EXPECT_EQ(window.pixel(1, 1) == kWhitePixel, c.drawn) << "function " << c.func;
    }
}

// A frame whose tiles of depth do not fit it evenly, under a viewport off
// its corner: wherever the one pixel deeper than a quad (or two lines
// through it) lies, they show there and nowhere else, so no tile's deepest
// depth misses a pixel.
class DepthTileTest : public DeviceTest {
protected:
    DepthTileTest() : DeviceTest(21, 19) {}
};

TEST_F(DepthTileTest, APixelBehindTheRestShowsWhereverItLies)
{
    const D3DVIEWPORT9 viewport = {3, 2, 18, 17, 0.0f, 1.0f};
    device->SetViewport(&viewport);
    const std::vector<ScreenVertex> quad = {at(0, 0), at(21, 0), at(0, 19), at(21, 0), at(21, 19), at(0, 19)};
    for (LONG y = 2; y < 19; ++y) {
        for (LONG x = 3; x < 21; ++x) {
            const float fx = float(x), fy = float(y);
            const std::vector<ScreenVertex> across = {at(0, fy, kWhite, 0.3f), at(21, fy, kWhite, 0.9f)};
            const std::vector<ScreenVertex> down = {at(fx, 19, kWhite, 0.9f), at(fx, 0, kWhite, 0.3f)};
            for (const auto* drawn : {&quad, &across, &down}) {
                ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 0.25f, 0), S_OK);
                const D3DRECT deep = {x, y, x + 1, y + 1};
                ASSERT_EQ(device->Clear(1, &deep, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), S_OK);
                ASSERT_EQ(device->BeginScene(), S_OK);
                ASSERT_EQ(drawn == &quad ? draw_screen(D3DPT_TRIANGLELIST, quad, 2)
                                         : draw_screen(D3DPT_LINELIST, *drawn, 1),
                          S_OK);
                finish();
                size_t shown = 0;
                for (uint32_t pixel : window.frame()) {
                    shown += pixel == kWhitePixel;
                }
                EXPECT_TRUE(shown == 1 && window.pixel(UINT(x), UINT(y)) == kWhitePixel)
                    << (drawn == &quad ? "quad" : "line") << ", deep pixel " << x << ", " << y;
            }
        }
    }
}

// Depths beyond the buffer's range, infinite or not numbers, at one end of
// a line or a corner of a triangle over a nearer depth: the tiles drop
// nothing that would show.
TEST(DepthTileOddTest, DepthsOutOfRangeDrawAsWithoutTiles)
{
    const float nan = std::nanf(""), inf = INFINITY;
    std::vector<ScreenVertex> lines, triangles;
    float y = 1.0f;
    for (float odd : {nan, inf, -inf, 1e35f, -0.5f, 1.5f}) {
        lines.push_back(at(1, y, kWhite, 0.9f));
        lines.push_back(at(30, y + 2, kWhite, odd));
        for (ScreenVertex corner : {at(1, y, kWhite, 0.9f), at(30, y, kWhite, 0.9f), at(15, y + 4, kWhite, odd)}) {
            triangles.push_back(corner);
        }
        y += 5.0f;
    }
    auto frame = [&](bool depth_tiles) {
        D3D9Profile profile = d3d9_default_profile();
        profile.depth_tiles = depth_tiles;
        ProfiledDevice made(profile, 32, 32);
        IDirect3DDevice9* device = made.device.get();
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 0.25f, 0);
        device->BeginScene();
        device->SetFVF(kScreenFvf);
        for (const auto* drawn : {&lines, &triangles}) {
            auto vb = filled_vertex_buffer(device, drawn->data(), drawn->size() * sizeof(ScreenVertex));
            device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
            EXPECT_EQ(drawn == &lines ? device->DrawPrimitive(D3DPT_LINELIST, 0, UINT(lines.size() / 2))
                                      : device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, UINT(triangles.size() / 3)),
                      S_OK);
            device->SetStreamSource(0, nullptr, 0, 0);
        }
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        return made.window.frame();
    };
    const std::vector<uint32_t> reference = frame(false);
    EXPECT_NE(std::count(reference.begin(), reference.end(), kWhitePixel), 0) << "some odd depths should show";
    EXPECT_TRUE(frame(true) == reference);
}

TEST_F(RasterTest, GouraudColourIsExactAtVerticesAndBlendsBetween)
{
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {at(0, 0, 0xFFFF0000), at(8, 0, 0xFF00FF00), at(0, 8, 0xFF0000FF)}, 1),
              S_OK);
    finish();
    EXPECT_EQ(window.pixel(0, 0), 0xFF0000u);
    const uint32_t middle = window.pixel(4, 0); // halfway along the top edge
    EXPECT_NEAR(double(middle >> 16), 127.5, 1.0);
    EXPECT_NEAR(double((middle >> 8) & 255), 127.5, 1.0);
    EXPECT_EQ(middle & 255, 0u);
    const uint32_t inner = window.pixel(2, 2); // weights 1/2, 1/4, 1/4
    EXPECT_NEAR(double(inner >> 16), 127.5, 1.0);
    EXPECT_NEAR(double((inner >> 8) & 255), 63.75, 1.0);
    EXPECT_NEAR(double(inner & 255), 63.75, 1.0);
}

TEST_F(RasterTest, FlatShadingTakesTheFirstVertexColour)
{
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {at(0, 0, 0xFFFF0000), at(8, 0, 0xFF00FF00), at(0, 8, 0xFF0000FF)}, 1),
              S_OK);
    finish();
    EXPECT_EQ(window.pixel(3, 3), 0xFF0000u);
    EXPECT_EQ(window.pixel(6, 0), 0xFF0000u);
}

TEST_F(RasterTest, LineDrawsItsStartAndTheLastPixelByState)
{
    struct Case {
        ScreenVertex from, to;
        BOOL last_pixel;
        const char* expected;
    } cases[] = {
        {at(1, 2), at(5, 2), TRUE, "........\n........\n.#####..\n........\n........\n........\n........\n........\n"},
        {at(1, 2), at(5, 2), FALSE, "........\n........\n.####...\n........\n........\n........\n........\n........\n"},
        {at(5, 2), at(1, 2), FALSE, "........\n........\n..####..\n........\n........\n........\n........\n........\n"},
        {at(3, 1), at(3, 6), FALSE, "........\n...#....\n...#....\n...#....\n...#....\n...#....\n........\n........\n"},
        {at(1, 1), at(5, 5), FALSE, "........\n.#......\n..#.....\n...#....\n....#...\n........\n........\n........\n"},
        {at(1, 1), at(5, 5), TRUE, "........\n.#......\n..#.....\n...#....\n....#...\n.....#..\n........\n........\n"},
        // End points off the pixel centres: the pixels the line passes through.
        {at(0.7f, 6.2f), at(4.2f, 6.2f), FALSE,
         "........\n........\n........\n........\n........\n........\n.###....\n........\n"},
    };
    for (const Case& c : cases) {
        device->SetRenderState(D3DRS_LASTPIXEL, c.last_pixel);
        begin();
        ASSERT_EQ(draw_screen(D3DPT_LINELIST, {c.from, c.to}, 1), S_OK);
        finish();
        EXPECT_EQ(mask(kWhitePixel), c.expected)
            << "from " << c.from.x << "," << c.from.y << " to " << c.to.x << "," << c.to.y;
    }
}

TEST_F(RasterTest, LineStripAndPointListDraw)
{
    device->SetRenderState(D3DRS_LASTPIXEL, FALSE);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_LINESTRIP, {at(0, 0), at(3, 0), at(3, 3)}, 2), S_OK);
    ASSERT_EQ(draw_screen(D3DPT_POINTLIST, {at(6, 6), at(7.4f, 1.2f)}, 2), S_OK);
    finish();
    EXPECT_EQ(mask(kWhitePixel),
              "####....\n"
              "...#...#\n"
              "...#....\n"
              "........\n"
              "........\n"
              "........\n"
              "......#.\n"
              "........\n");
}

// Two clockwise triangles over the whole frame: the default culling drops
// any triangle a strip or fan takes in the other order.
TEST_F(RasterTest, StripAndFanKeepTheWindingOfTheirFirstTriangle)
{
    struct Case {
        D3DPRIMITIVETYPE type;
        std::vector<ScreenVertex> vertices;
    } cases[] = {
        {D3DPT_TRIANGLESTRIP, {at(0, 0), at(8, 0), at(0, 8), at(8, 8)}},
        {D3DPT_TRIANGLEFAN, {at(0, 0), at(8, 0), at(8, 8), at(0, 8)}},
    };
    std::string full;
    for (int row = 0; row < 8; ++row)
        full += "########\n";
    for (const Case& c : cases) {
        begin();
        ASSERT_EQ(draw_screen(c.type, c.vertices, 2), S_OK);
        finish();
        EXPECT_EQ(mask(kWhitePixel), full) << "type " << c.type;
    }
}

TEST_F(RasterTest, VertexWithoutDiffuseIsOpaqueWhite)
{
    struct Plain {
        float x, y, z, rhw;
    };
    const std::vector<Plain> vertices = {{0, 0, 0.5f, 1}, {8, 0, 0.5f, 1}, {0, 8, 0.5f, 1}};
    begin();
    auto vb = make_vertex_buffer(vertices.data(), vertices.size() * sizeof(Plain));
    device->SetFVF(D3DFVF_XYZRHW);
    device->SetStreamSource(0, vb.get(), 0, sizeof(Plain));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), S_OK);
    device->SetStreamSource(0, nullptr, 0, 0);
    finish();
    EXPECT_EQ(window.pixel(1, 1), kWhitePixel);
}

// A screen-space corner with no place on the screen (1 / w zero or not
// finite, a position or depth not finite or far past the guard band)
// drops its triangle rather than drawing it from garbage.
TEST_F(RasterTest, ScreenTrianglesWithACornerThatHasNoPlaceDrawNothing)
{
    const float nan = std::nanf(""), inf = INFINITY;
    const ScreenVertex corners[] = {
        {7, 7, 0.5f, 0.0f, kWhite, 0, 0},   {7, 7, 0.5f, inf, kWhite, 0, 0},      {7, 7, 0.5f, nan, kWhite, 0, 0},
        {nan, 7, 0.5f, 1.0f, kWhite, 0, 0}, {1e30f, 7, 0.5f, 1.0f, kWhite, 0, 0}, {7, 7, inf, 1.0f, kWhite, 0, 0},
    };
    for (const ScreenVertex& corner : corners) {
        begin();
        ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, {at(0, 0), at(8, 0), corner}, 1), S_OK);
        finish();
        EXPECT_EQ(mask(kWhitePixel).find('#'), std::string::npos) << corner.x << " " << corner.z << " " << corner.rhw;
    }
}

// --- Coverage against the edge rule -------------------------------------------

// The pixels a screen-space triangle covers, straight from the rule: centres
// on integer coordinates, inside every edge of the clockwise triangle, or on
// a top or left edge. Positions in 1/256 pixel.
struct SubpixelPoint {
    int64_t x, y;
};

bool centre_covered(SubpixelPoint a, SubpixelPoint b, SubpixelPoint c, SubpixelPoint p)
{
    auto side = [](SubpixelPoint from, SubpixelPoint to, SubpixelPoint q) {
        return (to.x - from.x) * (q.y - from.y) - (to.y - from.y) * (q.x - from.x);
    };
    if (side(a, b, c) < 0) {
        std::swap(b, c);
    } else if (side(a, b, c) == 0) {
        return false;
    }
    const SubpixelPoint corners[3] = {a, b, c};
    for (int k = 0; k < 3; ++k) {
        const SubpixelPoint from = corners[k], to = corners[(k + 1) % 3];
        const int64_t value = side(from, to, p);
        const bool top_or_left = (to.y == from.y && to.x > from.x) || to.y < from.y;
        if (value < 0 || (value == 0 && !top_or_left)) {
            return false;
        }
    }
    return true;
}

// Random triangles of every size the rasterizer treats apart (a pixel or
// two, narrow slivers short and tall, small ones, ones far larger than the
// frame), drawn
// one per frame on one and on two threads, against the rule.
TEST(RasterCoverageTest, RandomTrianglesCoverTheCentresOfTheEdgeRule)
{
    constexpr int kWidth = 150, kHeight = 110;
    struct Size {
        int wide, tall; // extent in 1/256 pixel
    } sizes[] = {{2 * 256, 2 * 256},     {3 * 256, 40 * 256},  {15 * 256, 60 * 256},  {30 * 256, 30 * 256},
                 {400 * 256, 300 * 256}, {3 * 256, 200 * 256}, {14 * 256, 150 * 256}, {30 * 256, 180 * 256}};
    std::mt19937 random(11);
    for (UINT threads : {1u, 2u}) {
        D3D9Profile profile = d3d9_default_profile();
        profile.raster_threads = threads;
        ProfiledDevice made(profile, kWidth, kHeight);
        IDirect3DDevice9* device = made.device.get();
        ASSERT_NE(device, nullptr);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        device->SetFVF(kScreenFvf);
        int mismatches = 0;
        for (int trial = 0; trial < 400 && mismatches == 0; ++trial) {
            const Size size = sizes[trial % std::size(sizes)];
            std::uniform_int_distribution<int64_t> origin_x(-20 * 256, (kWidth + 20) * 256),
                origin_y(-20 * 256, (kHeight + 20) * 256), dx(-size.wide / 2, size.wide / 2),
                dy(-size.tall / 2, size.tall / 2);
            const SubpixelPoint centre{origin_x(random), origin_y(random)};
            SubpixelPoint corners[3];
            std::vector<ScreenVertex> vertices;
            for (SubpixelPoint& corner : corners) {
                corner = {centre.x + dx(random), centre.y + dy(random)};
                vertices.push_back(at(float(corner.x) / 256.0f, float(corner.y) / 256.0f));
            }
            device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            device->BeginScene();
            auto vb = filled_vertex_buffer(device, vertices.data(), vertices.size() * sizeof(ScreenVertex));
            device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
            EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), S_OK);
            device->SetStreamSource(0, nullptr, 0, 0);
            device->EndScene();
            device->Present(nullptr, nullptr, nullptr, nullptr);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const bool expected = centre_covered(corners[0], corners[1], corners[2], {x * 256, y * 256});
                    if ((made.window.pixel(UINT(x), UINT(y)) == kWhitePixel) != expected && ++mismatches <= 3) {
                        ADD_FAILURE() << "threads " << threads << ", trial " << trial << ": pixel (" << x << ", " << y
                                      << ") should be " << (expected ? "covered" : "left");
                    }
                }
            }
        }
    }
}

// --- Clipping -------------------------------------------------------------

class ClipTest : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        D3DMATRIX projection = perspective(1.5707964f, 1.0f, 100.0f);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }
};

struct Position {
    float x, y, z;
};

TEST_F(ClipTest, TriangleCrossingTheNearPlaneIsCutThere)
{
    // A floor triangle at y = -1 running from z = 2 to behind the eye. What
    // shows is exactly the part beyond the near plane z = 1, the quad
    // (-1, 2), (1, 2), (0.75, 1), (-0.75, 1).
    begin();
    ASSERT_EQ(
        draw_indexed<Position>(D3DPT_TRIANGLELIST, D3DFVF_XYZ, {{-1, -1, 2}, {1, -1, 2}, {0, -1, -2}}, {0, 1, 2}, 1),
        S_OK);
    finish();
    const std::string clipped = mask(kWhitePixel);
    begin();
    ASSERT_EQ(draw_indexed<Position>(D3DPT_TRIANGLELIST, D3DFVF_XYZ,
                                     {{-1, -1, 2}, {1, -1, 2}, {0.75f, -1, 1}, {-0.75f, -1, 1}}, {0, 1, 2, 0, 2, 3}, 2),
              S_OK);
    finish();
    EXPECT_EQ(clipped, mask(kWhitePixel));
    EXPECT_EQ(clipped,
              "........\n"
              "........\n"
              "........\n"
              "........\n"
              "........\n"
              "........\n"
              "..####..\n"
              "..#####.\n");
}

TEST_F(ClipTest, TriangleEntirelyBehindTheEyeDrawsNothing)
{
    begin();
    ASSERT_EQ(
        draw_indexed<Position>(D3DPT_TRIANGLELIST, D3DFVF_XYZ, {{-1, -1, -2}, {1, -1, -2}, {0, 1, -3}}, {0, 1, 2}, 1),
        S_OK);
    finish();
    EXPECT_EQ(mask(0),
              std::string(8, '#') + "\n" + std::string(8, '#') + "\n" + std::string(8, '#') + "\n" +
                  std::string(8, '#') + "\n" + std::string(8, '#') + "\n" + std::string(8, '#') + "\n" +
                  std::string(8, '#') + "\n" + std::string(8, '#') + "\n");
}

TEST_F(ClipTest, LineCrossingTheNearPlaneIsCutThere)
{
    // From z = 2 (row 6) towards the eye: rows 6 and 7 of column 4, where the
    // near plane meets the bottom of the view.
    begin();
    ASSERT_EQ(draw_indexed<Position>(D3DPT_LINELIST, D3DFVF_XYZ, {{0, -1, 2}, {0, -1, -2}}, {0, 1}, 1), S_OK);
    finish();
    EXPECT_EQ(mask(kWhitePixel),
              "........\n"
              "........\n"
              "........\n"
              "........\n"
              "........\n"
              "........\n"
              "....#...\n"
              "....#...\n");
}

TEST_F(ClipTest, GeometryBeyondTheFarPlaneIsCut)
{
    begin();
    // A wall facing the eye at z = 200, beyond the far plane at 100.
    ASSERT_EQ(draw_indexed<Position>(D3DPT_TRIANGLELIST, D3DFVF_XYZ,
                                     {{-500, -500, 200}, {500, -500, 200}, {0, 500, 200}}, {0, 1, 2}, 1),
              S_OK);
    finish();
    EXPECT_EQ(window.pixel(4, 4), 0u);
}

TEST_F(ClipTest, HugeTriangleAroundTheViewFillsIt)
{
    // Far beyond the guard band on every side: clipped against the sides too.
    begin();
    ASSERT_EQ(draw_indexed<Position>(D3DPT_TRIANGLELIST, D3DFVF_XYZ,
                                     {{-1e6f, -1e6f, 10}, {1e6f, -1e6f, 10}, {0, 1e6f, 10}}, {0, 1, 2}, 1),
              S_OK);
    finish();
    EXPECT_EQ(mask(kWhitePixel).find('.'), std::string::npos);
}

// --- Textures ---------------------------------------------------------------

class TextureDrawTest : public DeviceTest {
protected:
    // A width x height A8R8G8B8 texture with the given texels, rows top first.
    InterfacePtr<IDirect3DTexture9> make_texture(UINT width, UINT height, const std::vector<uint32_t>& texels)
    {
        InterfacePtr<IDirect3DTexture9> texture;
        EXPECT_EQ(
            device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, receive(texture), nullptr),
            S_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), S_OK);
        for (UINT y = 0; y < height; ++y) {
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &texels[y * width], width * 4);
        }
        EXPECT_EQ(texture->UnlockRect(0), S_OK);
        return texture;
    }

    // The renderer's stage and sampler setting.
    void modulate_linear()
    {
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    }

    // The full frame as one quad with texture coordinates 0..u_max, 0..v_max.
    std::vector<ScreenVertex> frame_quad(D3DCOLOR color, float u_max, float v_max)
    {
        return {at(0, 0, color, 0.5f, 0, 0),     at(8, 0, color, 0.5f, u_max, 0),     at(0, 8, color, 0.5f, 0, v_max),
                at(8, 0, color, 0.5f, u_max, 0), at(8, 8, color, 0.5f, u_max, v_max), at(0, 8, color, 0.5f, 0, v_max)};
    }
};

TEST_F(TextureDrawTest, PointSampledTextureWrapsAndModulates)
{
    const auto texture = make_texture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    device->SetTexture(0, texture.get());
    modulate_linear();
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    begin();
    // u and v run to 2: the texture repeats twice across the frame.
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, frame_quad(0xFF808080, 2, 2), 2), S_OK);
    finish();
    device->SetTexture(0, nullptr);
    const uint32_t red = 0x800000, green = 0x008000, blue = 0x000080, grey = 0x808080;
    const uint32_t expected_rows[2][8] = {{red, red, green, green, red, red, green, green},
                                          {blue, blue, grey, grey, blue, blue, grey, grey}};
    for (UINT y = 0; y < 8; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            EXPECT_EQ(window.pixel(x, y), expected_rows[(y / 2) % 2][x]) << x << "," << y;
        }
    }
}

TEST_F(TextureDrawTest, BilinearBlendsNeighbouringTexels)
{
    const auto texture = make_texture(2, 1, {0xFF000000, 0xFFFFFFFF});
    device->SetTexture(0, texture.get());
    modulate_linear();
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, frame_quad(kWhite, 1, 1), 2), S_OK);
    finish();
    device->SetTexture(0, nullptr);
    // Column x samples u = x / 8: texel centres at u 0.25 and 0.75.
    EXPECT_EQ(window.pixel(0, 3), 0x000000u);
    EXPECT_EQ(window.pixel(2, 3), 0x000000u);
    EXPECT_NEAR(double(window.pixel(4, 3) & 255), 127.5, 1.0);
    EXPECT_EQ(window.pixel(6, 3), 0xFFFFFFu);
    EXPECT_EQ(window.pixel(7, 3), 0xFFFFFFu);
    EXPECT_NEAR(double(window.pixel(3, 3) & 255), 63.75, 1.0);
}

TEST_F(TextureDrawTest, NullTextureShowsTheVertexColours)
{
    modulate_linear();
    device->SetTexture(0, nullptr);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, frame_quad(0xFF336699, 1, 1), 2), S_OK);
    finish();
    EXPECT_EQ(window.pixel(5, 5), 0x336699u);
}

TEST_F(TextureDrawTest, DefaultStageModulatesColourAndTakesTextureAlpha)
{
    const auto texture = make_texture(1, 1, {0x40FF8000});
    device->SetTexture(0, texture.get());
    InterfacePtr<IDirect3DSurface9> back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(back)), S_OK);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, frame_quad(0x80808080, 1, 1), 2), S_OK);
    finish();
    EXPECT_EQ(window.pixel(3, 3), 0x804000u);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    // An X8R8G8B8 back buffer keeps its fourth byte at 0xFF.
    EXPECT_EQ(static_cast<const uint32_t*>(locked.pBits)[0], 0xFF804000u);
    back->UnlockRect();
    device->SetTexture(0, nullptr);
}

TEST_F(TextureDrawTest, StageCombinationsGiveTheirColourAndAlpha)
{
    // A red texel of alpha 0x80 on a diffuse 0xC0336699: a product is
    // 0x33 x 0xFF / 255 = 0x33 in red, 0x80 x 0xC0 / 255 = 0x60 in alpha.
    // Alpha is seen through the alpha test (drawn at its value, not one
    // above); wrapped and clamped textures take different fetch paths.
    const auto texture = make_texture(1, 1, {0x80FF0000});
    device->SetTexture(0, texture.get());
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    const struct {
        DWORD color_op, color_arg1, alpha_op;
        uint32_t color, alpha;
    } cases[] = {
        {D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTOP_MODULATE, 0x336699, 0x60},
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTOP_SELECTARG1, 0x330000, 0x80},
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTOP_MODULATE, 0x330000, 0x60},
    };
    for (const auto& c : cases) {
        device->SetTextureStageState(0, D3DTSS_COLOROP, c.color_op);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, c.color_arg1);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, c.alpha_op);
        for (DWORD address : {D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP}) {
            device->SetSamplerState(0, D3DSAMP_ADDRESSU, address);
            device->SetSamplerState(0, D3DSAMP_ADDRESSV, address);
            for (DWORD above : {0, 1}) {
                device->SetRenderState(D3DRS_ALPHAREF, c.alpha + above);
                begin();
                ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, frame_quad(0xC0336699, 1, 1), 2), S_OK);
                finish();
                EXPECT_EQ(window.pixel(3, 3), above ? 0u : c.color)
                    << "ops " << c.color_op << "/" << c.alpha_op << ", address " << address << ", above " << above;
            }
        }
    }
    device->SetTexture(0, nullptr);
}

TEST_F(TextureDrawTest, RewrittenTextureIsSampledAnew)
{
    const auto texture = make_texture(1, 1, {0xFFFF0000});
    device->SetTexture(0, texture.get());
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, frame_quad(kWhite, 1, 1), 2), S_OK);
    finish();
    EXPECT_EQ(window.pixel(3, 3), 0xFF0000u);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), S_OK);
    *static_cast<uint32_t*>(locked.pBits) = 0xFF0000FF;
    texture->UnlockRect(0);
    begin();
    ASSERT_EQ(draw_screen(D3DPT_TRIANGLELIST, frame_quad(kWhite, 1, 1), 2), S_OK);
    finish();
    EXPECT_EQ(window.pixel(3, 3), 0x0000FFu);
    device->SetTexture(0, nullptr);
}

TEST_F(TextureDrawTest, TextureCoordinatesArePerspectiveCorrect)
{
    // A floor seen in perspective carrying a texture of two halves: the
    // border between them lies where the floor's middle projects, not
    // halfway up the screen.
    const auto texture = make_texture(1, 2, {0xFFFF0000, 0xFF0000FF});
    device->SetTexture(0, texture.get());
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    D3DMATRIX projection = perspective(1.5707964f, 1.0f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // v = 0 at z = 1.2 (near), v = 1 at z = 6 (far); v = 0.5 lies at z = 3.6,
    // screen row (1 + 1/3.6) x 4 = 5.1. Linear interpolation on the screen
    // would put it at row (rows 7.33 and 4.67 averaged) 6.
    std::vector<MeshVertex> floor = {{-20, -1, 1.2f, kWhite, 0, 0},
                                     {20, -1, 1.2f, kWhite, 0, 0},
                                     {20, -1, 6, kWhite, 0, 1},
                                     {-20, -1, 6, kWhite, 0, 1}};
    begin();
    ASSERT_EQ(draw_indexed<MeshVertex>(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, floor,
                                       {0, 1, 2, 0, 2, 3}, 2),
              S_OK);
    finish();
    device->SetTexture(0, nullptr);
    EXPECT_EQ(window.pixel(4, 5) & 0xFF, 0xFFu) << "row 5 lies beyond the middle: blue";
    EXPECT_EQ(window.pixel(4, 6) >> 16, 0xFFu) << "row 6 lies before the middle: red";
}

TEST_F(TextureDrawTest, MeshCodeWithTwoSetsIsSteppedByTheStride)
{
    // The surface mesh declares 0x242 (two coordinate sets, 32 bytes) but
    // packs 24-byte vertices; stage 0 reads the first set of each.
    const auto texture = make_texture(2, 1, {0xFFFF0000, 0xFF00FF00});
    device->SetTexture(0, texture.get());
    modulate_linear();
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DMATRIX ortho = identity_matrix(); // clip space = object space
    device->SetTransform(D3DTS_PROJECTION, &ortho);
    std::vector<MeshVertex> quad = {{-1, 1, 0.5f, kWhite, 0, 0},
                                    {1, 1, 0.5f, kWhite, 1, 0},
                                    {-1, -1, 0.5f, 0xFF808080, 0, 1},
                                    {1, -1, 0.5f, 0xFF808080, 1, 1}};
    begin();
    ASSERT_EQ(draw_indexed<MeshVertex>(D3DPT_TRIANGLELIST, 0x242, quad, {0, 1, 2, 1, 3, 2}, 2), S_OK);
    finish();
    device->SetTexture(0, nullptr);
    EXPECT_EQ(window.pixel(1, 0), 0xFF0000u);
    EXPECT_EQ(window.pixel(6, 0), 0x00FF00u);
    EXPECT_EQ(window.pixel(6, 7) >> 16, 0x00u); // green, dimmed towards the grey vertices
    EXPECT_GT(window.pixel(6, 7) & 0xFF00, 0x8000u);
    EXPECT_LT(window.pixel(6, 7) & 0xFF00, 0xFF00u);
}

TEST(BlendStageTest, OperationsOnTextureAndDiffuse)
{
    auto stage = [](DWORD op, DWORD a1, DWORD a2) {
        return StageBlend{
            op, a1, a2, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_CURRENT, 0x80402010, 0};
    };
    const uint32_t texture = 0xFF804020, diffuse = 0x80808080;
    struct Case {
        StageBlend blend;
        uint32_t expected;
    } cases[] = {
        {stage(D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE), diffuse},
        {stage(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFF804020},
        {stage(D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFF808080},
        {stage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFF402010},
        {stage(D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFF804020},
        {stage(D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFFFF8040}, // red clamps
        {stage(D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFFFFC0A0},
        {stage(D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFF000000},
        // 0x80 is the signed zero: x1 + x2 - 0x80, doubled for 2X.
        {stage(D3DTOP_ADDSIGNED, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFF804020},
        {stage(D3DTOP_ADDSIGNED2X, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFFFF8040},
        {stage(D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE), 0xFF402010},
        {stage(D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE), 0xFF7FBFDF},
        {stage(D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE), 0xFF808080},
        // x1 + x2 - x1 x2, each channel in [0, 1].
        {stage(D3DTOP_ADDSMOOTH, D3DTA_TEXTURE, D3DTA_DIFFUSE), 0xFFC0A090},
        // The factor (0x40, 0x20, 0x10) weighs the texture, the rest the
        // diffuse: green 0x20 / 255 * 0x40 + 0xDF / 255 * 0x80 = 119.97.
        {{D3DTOP_LERP, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE,
          D3DTA_CURRENT, 0x80402010, 0},
         0xFF80787A},
        // Alpha left alone is the diffuse's; replicated, alpha is still alpha.
        {{D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE,
          D3DTA_CURRENT, 0, 0},
         0x80402010},
        {{D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1,
          D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE, D3DTA_TEXTURE, D3DTA_CURRENT, 0, 0},
         0x80804020},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(blend_stage(c.blend, texture, diffuse), c.expected) << "op " << c.blend.color_op;
    }
}

} // namespace

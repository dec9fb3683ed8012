// The surface's texture: loaded from a file, draped over the surface and
// seen through its shade, kept across fields, loaded again after a reset,
// removed, and given back.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "render_fixture.h"

namespace {

// A 4 x 4 24-bit bitmap in four 2 x 2 quarters: red top left, green top
// right, blue bottom left, brown (200, 100, 50) bottom right.
std::string quarters_bitmap()
{
    std::string file = "BM";
    auto le32 = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k)
            file += char(v >> (8 * k) & 0xFF);
    };
    auto le16 = [&](uint32_t v) {
        file += char(v & 0xFF);
        file += char(v >> 8);
    };
    le32(54 + 48), le32(0), le32(54);                            // file header
    le32(40), le32(4), le32(4), le16(1), le16(24), le32(0);      // 4 x 4, 24 bits, no compression
    le32(48), le32(2835), le32(2835), le32(0), le32(0);
    const unsigned char blue[3] = {255, 0, 0}, brown[3] = {50, 100, 200}; // stored blue, green, red
    const unsigned char red[3] = {0, 0, 255}, green[3] = {0, 255, 0};
    for (int row = 0; row < 4; ++row) { // bottom row first
        const unsigned char* left = row < 2 ? blue : red;
        const unsigned char* right = row < 2 ? brown : green;
        for (int x = 0; x < 4; ++x)
            file.append(reinterpret_cast<const char*>(x < 2 ? left : right), 3);
    }
    return file;
}

class TextureTest : public RendererTest {
protected:
    std::filesystem::path path;

    void SetUp() override
    {
        RendererTest::SetUp();
        path = std::filesystem::temp_directory_path() /
               ("varnel-texture-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bmp");
        write(quarters_bitmap());
    }
    void TearDown() override
    {
        RendererTest::TearDown();
        std::filesystem::remove(path);
    }

    void write(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

    // The colour at a scene point of the top view, within 1 per channel of (r, g, b).
    void expect_colour(double x, double y, double z, int r, int g, int b)
    {
        const uint32_t got = pixel_at(top_view_pixel(x, y, z));
        const int channels[3] = {int(got >> 16), int(got >> 8 & 0xFF), int(got & 0xFF)};
        const int want[3] = {r, g, b};
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(channels[c], want[c], 1) << "at " << x << ", " << y << ": " << std::hex << got;
    }
};

// Height 0.5 gives the shade 192: every texel is seen at 192/255 of itself,
// upright from above; the grid lines stay white.
TEST_F(TextureTest, TexturedSurfaceIsSeenThroughItsShade)
{
    FieldPtr field = make_field([](int, int) { return 0.5; });
    renderer->ops.set_field(renderer, field.get());
    ASSERT_EQ(renderer->ops.set_texture(renderer, path.c_str()), S_OK);
    set_camera(100, 0, 90);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 0, 0);
    expect_colour(0.25, 0.25, -0.5, 0, 192, 0);
    expect_colour(-0.25, -0.25, -0.5, 0, 0, 192);
    expect_colour(0.25, -0.25, -0.5, 151, 75, 38);
    EXPECT_TRUE(colour_near(top_view_pixel(-0.2, 0.25, -0.51), 0xFFFFFF));
    EXPECT_EQ(state->grid_batch.texture, nullptr);
}

TEST_F(TextureTest, TextureLifecycle)
{
    // Chosen before any data: kept, then draped over every new field.
    ASSERT_EQ(renderer->ops.set_texture(renderer, path.c_str()), S_OK);
    IDirect3DTexture9* texture = state->surface_batch.texture;
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(state->surface_batch.texture_file, path.c_str());
    EXPECT_NE(state->surface_batch.texture_file, path.c_str()) << "a copy";
    FieldPtr first = make_field([](int, int) { return 1.0; });
    FieldPtr second = make_field([](int, int) { return 0.5; });
    renderer->ops.set_field(renderer, first.get());
    renderer->ops.set_field(renderer, second.get());
    EXPECT_EQ(state->surface_batch.texture, texture);
    renderer->ops.set_field(renderer, nullptr);
    EXPECT_EQ(state->surface_batch.texture, texture);
    renderer->ops.set_field(renderer, second.get());

    // A file that cannot be loaded: no texture, the path stays, and the
    // next reset tries it again.
    write("not an image");
    EXPECT_EQ(renderer->ops.set_texture(renderer, path.c_str()), HRESULT(0x88760B59));
    EXPECT_EQ(state->surface_batch.texture, nullptr);
    EXPECT_STREQ(state->surface_batch.texture_file, path.c_str());
    set_camera(100, 0, 90);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 192, 192);
    write(quarters_bitmap());
    ASSERT_EQ(renderer->ops.resize(renderer, &window, 320, 240), 0);
    EXPECT_NE(state->surface_batch.texture, nullptr);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 0, 0);

    // Removed: texture and path gone, the shade alone shows.
    EXPECT_EQ(renderer->ops.set_texture(renderer, nullptr), S_OK);
    EXPECT_EQ(state->surface_batch.texture, nullptr);
    EXPECT_EQ(state->surface_batch.texture_file, nullptr);
    renderer->ops.resize(renderer, &window, 320, 240);
    EXPECT_EQ(state->surface_batch.texture, nullptr);
    renderer->ops.render(renderer);
    expect_colour(-0.25, 0.25, -0.5, 192, 192, 192);
}

TEST_F(TextureTest, DestroyGivesTheTextureBack)
{
    FieldPtr field = make_field([](int, int) { return 0.5; });
    renderer->ops.set_field(renderer, field.get());
    ASSERT_EQ(renderer->ops.set_texture(renderer, path.c_str()), S_OK);
    renderer->ops.render(renderer); // the texture is bound while drawing, then unbound
    IDirect3DTexture9* texture = state->surface_batch.texture;
    IDirect3DDevice9* device = state->device;
    texture->AddRef();
    device->AddRef();
    renderer->ops.destroy(renderer);
    renderer = nullptr;
    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(device->Release(), 0u);
}

} // namespace

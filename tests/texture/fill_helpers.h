// Shared pieces of the level-filling tests: images built in memory, a
// device to make textures on, and reading a level back without padding.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/d3d9/offscreen_window.h"
#include "texture/decoders/decoded_image.h"
#include "texture/texture_fill.h"

// An image whose rows are `row_bytes` long, stored `pitch` bytes apart.
struct TestImage {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> palette;
    DecodedImage image{};

    TestImage(D3DFORMAT format, UINT width, UINT height, size_t row_bytes, UINT padding = 0)
    {
        const UINT pitch = static_cast<UINT>(row_bytes) + padding;
        bytes.assign(size_t(pitch) * height, 0);
        image.format = format;
        image.width = width;
        image.height = height;
        image.depth = 1;
        image.region = ImageRegion{0, 0, width, height, 0, 1};
        image.row_pitch = pitch;
        image.resource_type = D3DRTYPE_TEXTURE;
        image.pixels = bytes.data();
    }

    uint8_t* row(UINT y) { return bytes.data() + size_t(y) * image.row_pitch; }

    void set_palette(const std::vector<uint8_t>& rgba)
    {
        palette = rgba;
        palette.resize(1024, 255);
        image.palette = palette.data();
    }

    // Every row byte (padding excluded) from the generator.
    void randomise(std::mt19937& random, size_t row_bytes)
    {
        for (UINT y = 0; y < image.height; ++y) {
            for (size_t i = 0; i < row_bytes; ++i) {
                row(y)[i] = static_cast<uint8_t>(random());
            }
        }
    }
};

// A device on a small offscreen window; the hook is reset around each test.
class FillTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        d3d9_test_reset();
        start_device();
    }

    void TearDown() override
    {
        stop_device();
        d3d9_test_reset();
    }

    void start_device()
    {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS p;
        std::memset(&p, 0, sizeof p);
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = TRUE;
        ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                    &p, &device),
                  S_OK);
    }

    void stop_device()
    {
        if (device) {
            EXPECT_EQ(device->Release(), 0u) << "a test leaked a reference";
            device = nullptr;
        }
        if (d3d) {
            d3d->Release();
            d3d = nullptr;
        }
    }

    // Textures of rows padded by `padding` bytes, so nothing may assume packed rows.
    void use_pitch_padding(UINT padding)
    {
        stop_device();
        D3D9Profile profile = d3d9_default_profile();
        profile.pitch_padding = padding;
        d3d9_test_set_profile(profile);
        start_device();
    }

    IDirect3DTexture9* texture(UINT width, UINT height, D3DFORMAT format, UINT levels = 1)
    {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr), S_OK);
        return t;
    }

    // Fills level 0 of a new texture from the image; the texture is returned.
    IDirect3DTexture9* load(const DecodedImage& image, UINT width, UINT height, D3DFORMAT format, DWORD filter,
                            HRESULT expect = S_OK, D3DCOLOR key = 0)
    {
        IDirect3DTexture9* t = texture(width, height, format);
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(t->GetSurfaceLevel(0, &surface), S_OK);
        EXPECT_EQ(load_surface_from_image(surface, &image, filter, key), expect);
        surface->Release();
        return t;
    }

    // The level's rows without padding, `row_bytes` each.
    static std::vector<uint8_t> level_bytes(IDirect3DTexture9* t, UINT level, size_t row_bytes)
    {
        D3DSURFACE_DESC desc;
        t->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(t->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        const bool blocks = desc.Format == D3DFMT_DXT1 || desc.Format == D3DFMT_DXT2 || desc.Format == D3DFMT_DXT3 ||
            desc.Format == D3DFMT_DXT4 || desc.Format == D3DFMT_DXT5;
        const UINT rows = blocks ? (desc.Height + 3) / 4 : desc.Height;
        std::vector<uint8_t> out(row_bytes * rows);
        for (UINT y = 0; y < rows; ++y) {
            std::memcpy(&out[y * row_bytes], static_cast<uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch, row_bytes);
        }
        t->UnlockRect(level);
        return out;
    }

    // The level's pixels as values of T, `per_pixel` of them per pixel.
    template <class T>
    static std::vector<T> level_values(IDirect3DTexture9* t, UINT level, size_t per_pixel)
    {
        D3DSURFACE_DESC desc;
        t->GetLevelDesc(level, &desc);
        const std::vector<uint8_t> bytes = level_bytes(t, level, size_t(desc.Width) * per_pixel * sizeof(T));
        std::vector<T> out(bytes.size() / sizeof(T));
        std::memcpy(out.data(), bytes.data(), bytes.size());
        return out;
    }

    // Pixels of a 32-bit format as words (0xAARRGGBB for A8R8G8B8).
    static std::vector<uint32_t> level_words(IDirect3DTexture9* t, UINT level)
    {
        return level_values<uint32_t>(t, level, 1);
    }

    // Pixels of D3DFMT_A32B32G32R32F, four floats each.
    static std::vector<float> level_floats(IDirect3DTexture9* t, UINT level)
    {
        return level_values<float>(t, level, 4);
    }

    OffscreenWindow window{8, 8};
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

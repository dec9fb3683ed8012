// Shared pieces of the renderer tests: a renderer on an offscreen window,
// fields with chosen node values (and of sizes the real field never has),
// and the contents of a batch's buffers read back.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "field/density_field.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/d3d9/offscreen_window.h"
#include "render/renderer.h"
#include "render/renderer_state.h"

struct SurfaceVertex {
    float x, y, z;
    D3DCOLOR shade;
    float u, v;
};
struct LineVertex {
    float x, y, z;
};
struct MarkerVertex {
    float x, y, z;
    D3DCOLOR color;
};

using NodeValue = std::function<double(int i, int j)>;

struct FieldDeleter {
    void operator()(DensityField* field) const { field->ops.destroy(field); }
};
using FieldPtr = std::unique_ptr<DensityField, FieldDeleter>;

// A 201 x 201 density field over 0..4000 whose node (i, j) holds value(i, j).
inline FieldPtr make_field(const NodeValue& value)
{
    FieldPtr field(create_density_field(0, 0, 4000, 4000));
    double* nodes = field->ops.data(field.get());
    for (int j = 0; j < 201; ++j)
        for (int i = 0; i < 201; ++i)
            nodes[j * 201 + i] = value(i, j);
    return field;
}

// A field record of any size, for the grid sizes the density field never
// has; it answers width, height and data like the real one.
class SizedField {
public:
    // Sizes beyond a million nodes get one node only: the builders must
    // refuse them before reading any.
    SizedField(int nx, int ny, double value = 0.25) : nx_(nx), ny_(ny)
    {
        const int64_t count = int64_t(nx) * ny;
        nodes_.assign(count > 0 && count <= (1 << 20) ? size_t(count) : 1, value);
        field_.state = reinterpret_cast<FieldState*>(this);
        field_.ops = FieldOps{nullptr, nullptr, width, height, nullptr, data};
    }
    DensityField* get() { return &field_; }

private:
    static SizedField* self(DensityField* f) { return reinterpret_cast<SizedField*>(f->state); }
    static int width(DensityField* f) { return self(f)->nx_; }
    static int height(DensityField* f) { return self(f)->ny_; }
    static double* data(DensityField* f) { return self(f)->nodes_.data(); }

    DensityField field_;
    int nx_, ny_;
    std::vector<double> nodes_;
};

// The vertices (or indices) of a batch, copied out of its locked buffer.
template <class Vertex>
std::vector<Vertex> batch_vertices(const DrawBatch& batch)
{
    std::vector<Vertex> out(size_t(batch.vertex_count));
    void* bits = nullptr;
    if (!batch.vertex_buffer || FAILED(batch.vertex_buffer->Lock(0, 0, &bits, 0)))
        return {};
    std::memcpy(out.data(), bits, out.size() * sizeof(Vertex));
    batch.vertex_buffer->Unlock();
    return out;
}

inline std::vector<uint16_t> batch_indices(const DrawBatch& batch)
{
    std::vector<uint16_t> out(size_t(batch.primitive_count) * size_t(batch.indices_per_primitive));
    void* bits = nullptr;
    if (!batch.index_buffer || FAILED(batch.index_buffer->Lock(0, 0, &bits, 0)))
        return {};
    std::memcpy(out.data(), bits, out.size() * sizeof(uint16_t));
    batch.index_buffer->Unlock();
    return out;
}

// What a built batch must be: layout, counts and buffer sizes; both buffers
// in the managed pool, the indices 16 bits wide, no texture of its own.
struct BatchShape {
    uint32_t stride, fvf;
    D3DPRIMITIVETYPE type;
    int32_t indices_per_primitive, vertex_count, primitive_count;
    UINT vertex_bytes, index_bytes;
};

inline void expect_batch(const DrawBatch& batch, const BatchShape& want)
{
    EXPECT_EQ(batch.stride, want.stride);
    EXPECT_EQ(batch.fvf, want.fvf);
    EXPECT_EQ(batch.primitive_type, want.type);
    EXPECT_EQ(batch.indices_per_primitive, want.indices_per_primitive);
    EXPECT_EQ(batch.vertex_count, want.vertex_count);
    EXPECT_EQ(batch.primitive_count, want.primitive_count);
    EXPECT_EQ(batch.texture, nullptr);
    D3DVERTEXBUFFER_DESC vertex_desc{};
    D3DINDEXBUFFER_DESC index_desc{};
    ASSERT_TRUE(batch.vertex_buffer && batch.index_buffer);
    batch.vertex_buffer->GetDesc(&vertex_desc);
    batch.index_buffer->GetDesc(&index_desc);
    EXPECT_EQ(vertex_desc.Size, want.vertex_bytes);
    EXPECT_EQ(vertex_desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(index_desc.Size, want.index_bytes);
    EXPECT_EQ(index_desc.Format, D3DFMT_INDEX16);
    EXPECT_EQ(index_desc.Pool, D3DPOOL_MANAGED);
}

// A renderer on an offscreen window; the device hook is reset around each
// test, and the renderer destroyed at its end.
class RendererTest : public ::testing::Test {
protected:
    explicit RendererTest(UINT width = 320, UINT height = 240) : window(width, height) {}

    void SetUp() override
    {
        d3d9_test_reset();
        start();
    }
    void TearDown() override
    {
        if (renderer)
            renderer->ops.destroy(renderer);
        d3d9_test_reset();
    }

    // (Re)creates the renderer, e.g. after a new device profile was set.
    void start()
    {
        if (renderer)
            renderer->ops.destroy(renderer);
        renderer = create_renderer(&window);
        ASSERT_NE(renderer, nullptr);
        state = renderer_state(renderer);
    }

    void set_camera(int radius, int azimuth, int elevation)
    {
        const CameraSetting camera{radius, azimuth, elevation};
        renderer->ops.set_camera(renderer, &camera);
    }

    struct Pixel {
        int x, y;
    };
    // Where the default camera (straight down from 5.5 above z = 0, +x to
    // the right, +y up) shows the scene point (x, y, z); worked out from
    // the field of view alone.
    Pixel top_view_pixel(double x, double y, double z) const
    {
        const double y_scale = 1.0 / std::tan(0.39269909 / 2), depth = z + 5.5;
        const double half_width = window.frame_width() / 2.0, half_height = window.frame_height() / 2.0;
        return Pixel{int(std::floor(half_width + x * y_scale / depth * half_height)),
                     int(std::floor(half_height - y * y_scale / depth * half_height))};
    }

    // Whether a pixel at most one pixel away from p (either way) has the colour.
    bool colour_near(Pixel p, uint32_t colour) const
    {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (window.pixel(UINT(p.x + dx), UINT(p.y + dy)) == colour)
                    return true;
        return false;
    }

    uint32_t pixel_at(Pixel p) const { return window.pixel(UINT(p.x), UINT(p.y)); }

    // Number of pixels of the last frame that are not `colour`.
    size_t pixels_other_than(uint32_t colour) const
    {
        size_t count = 0;
        for (uint32_t pixel : window.frame())
            count += pixel != colour;
        return count;
    }

    D3DMATRIX transform(D3DTRANSFORMSTATETYPE which)
    {
        D3DMATRIX m;
        state->device->GetTransform(which, &m);
        return m;
    }

    OffscreenWindow window;
    Renderer* renderer = nullptr;
    RendererState* state = nullptr;
};

// Shared pieces of the renderer tests: fields with chosen node values (and
// of sizes the density field never has), buffer contents read back, and a
// renderer on an offscreen window seen through the default camera.
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

struct FieldDeleter {
    void operator()(DensityField* field) const { field->ops.destroy(field); }
};
using FieldPtr = std::unique_ptr<DensityField, FieldDeleter>;

// A 201 x 201 density field whose node (i, j) holds value(i, j).
inline FieldPtr make_field(const std::function<double(int i, int j)>& value)
{
    FieldPtr field(create_density_field(Range{0, 4000, 0, 4000}));
    double* nodes = field->ops.data(field.get());
    for (int j = 0; j < 201; ++j)
        for (int i = 0; i < 201; ++i)
            nodes[j * 201 + i] = value(i, j);
    return field;
}

// A field record of any size answering width, height and data. Beyond a
// million nodes it holds one node only: the builders must refuse it unread.
class SizedField {
public:
    SizedField(int nx, int ny) : nx_(nx), ny_(ny)
    {
        const int64_t count = int64_t(nx) * ny;
        nodes_.assign(count > 0 && count <= (1 << 20) ? size_t(count) : 1, 0.25);
        field_.state = reinterpret_cast<FieldState*>(this);
        field_.ops = FieldOps{nullptr,
                              nullptr,
                              [](DensityField* f) { return self(f)->nx_; },
                              [](DensityField* f) { return self(f)->ny_; },
                              nullptr,
                              [](DensityField* f) { return self(f)->nodes_.data(); }};
    }
    DensityField* get() { return &field_; }

private:
    static SizedField* self(DensityField* f) { return reinterpret_cast<SizedField*>(f->state); }
    DensityField field_;
    int nx_, ny_;
    std::vector<double> nodes_;
};

// The first `count` items of a vertex or index buffer.
template <class Item, class Buffer>
std::vector<Item> contents(Buffer* buffer, size_t count)
{
    std::vector<Item> out(count);
    void* bits = nullptr;
    if (!buffer || FAILED(buffer->Lock(0, 0, &bits, 0)))
        return {};
    std::memcpy(out.data(), bits, count * sizeof(Item));
    buffer->Unlock();
    return out;
}
template <class Vertex>
std::vector<Vertex> vertices_of(const DrawBatch& b)
{
    return contents<Vertex>(b.vertex_buffer, size_t(b.vertex_count));
}
inline std::vector<uint16_t> indices_of(const DrawBatch& b)
{
    return contents<uint16_t>(b.index_buffer, size_t(b.primitive_count) * size_t(b.indices_per_primitive));
}

// A renderer on a 320 x 240 offscreen window; the device hook is reset
// around each test.
class RendererTest : public ::testing::Test {
protected:
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
        // The frames these tests pin are the scene's alone; the overlay's
        // tests switch it on.
        show_axes(false);
    }
    void show_axes(bool on)
    {
        PictureOptions options;
        options.show_axes = on;
        renderer->ops.set_picture_options(renderer, &options);
    }
    void set_camera(int radius, int azimuth, int elevation)
    {
        const CameraSetting camera{radius, azimuth, elevation};
        renderer->ops.set_camera(renderer, &camera);
    }

    // The pixel where the default camera (straight down from 5.5 above
    // z = 0, +x right, +y up) shows the scene point, from the field of view alone.
    uint32_t seen(double x, double y, double z, int dx = 0, int dy = 0) const
    {
        const double scale = 1.0 / std::tan(0.39269909 / 2) / (z + 5.5) * window.frame_height() / 2.0;
        return window.pixel(UINT(std::floor(window.frame_width() / 2.0 + x * scale) + dx),
                            UINT(std::floor(window.frame_height() / 2.0 - y * scale) + dy));
    }
    // Whether that pixel or one of its eight neighbours has the colour.
    bool seen_near(double x, double y, double z, uint32_t colour) const
    {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (seen(x, y, z, dx, dy) == colour)
                    return true;
        return false;
    }

    OffscreenWindow window{320, 240};
    Renderer* renderer = nullptr;
    RendererState* state = nullptr;
};

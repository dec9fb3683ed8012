// The renderer object: creation and its failures, foreign handles, the
// frame and its draw calls, resize, destroy, and whole pictures.
#include "render_fixture.h"

namespace {

class RendererObjectTest : public RendererTest {};

constexpr uint32_t kGrey = 0x808080, kBlack = 0x000000, kWhite = 0xFFFFFF, kYellow = 0xFFFF00;

// Restates nothing of the renderer: what a device shows after create (and
// after every reset).
void expect_fixed_states(IDirect3DDevice9* device)
{
    struct State {
        DWORD kind; // 0 render state, 1 stage 0, 2 sampler 0
        DWORD which, value;
    };
    const State states[] = {
        {0, D3DRS_CULLMODE, D3DCULL_NONE},       {0, D3DRS_ZENABLE, D3DZB_TRUE},
        {0, D3DRS_DITHERENABLE, FALSE},           {0, D3DRS_LIGHTING, FALSE},
        {1, D3DTSS_COLOROP, D3DTOP_MODULATE},     {1, D3DTSS_COLORARG1, D3DTA_TEXTURE},
        {1, D3DTSS_COLORARG2, D3DTA_DIFFUSE},     {1, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
        {1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},     {1, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
        {2, D3DSAMP_MINFILTER, D3DTEXF_LINEAR},   {2, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR},
    };
    for (const State& s : states) {
        DWORD value = 0xDEAD;
        if (s.kind == 0)
            device->GetRenderState(D3DRENDERSTATETYPE(s.which), &value);
        else if (s.kind == 1)
            device->GetTextureStageState(0, D3DTEXTURESTAGESTATETYPE(s.which), &value);
        else
            device->GetSamplerState(0, D3DSAMPLERSTATETYPE(s.which), &value);
        EXPECT_EQ(value, s.value) << s.kind << " " << s.which;
    }
    D3DMATRIX world;
    device->GetTransform(D3DTS_WORLD, &world);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(world.m[r][c], r == c ? 1.0f : 0.0f);
}

void expect_back_buffer(IDirect3DDevice9* device, UINT width, UINT height)
{
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), S_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    back->Release();
    EXPECT_EQ(desc.Width, width);
    EXPECT_EQ(desc.Height, height);
}

TEST_F(RendererObjectTest, CreateSetsUpTheDevice)
{
    expect_fixed_states(state->device);
    expect_back_buffer(state->device, 320, 240);
    EXPECT_EQ(state->caps.MaxPrimitiveCount, 0xFFFFFu);
    EXPECT_EQ(std::memcmp(renderer->state, "Direct3D", 8), 0);
    for (const DrawBatch* batch : {&state->surface_batch, &state->grid_batch, &state->marker_batch})
        EXPECT_EQ(batch->vertex_buffer, nullptr);
    EXPECT_EQ(state->marker_on, 0);
    EXPECT_EQ(state->field, nullptr);
    EXPECT_EQ(state->eye.x, 0.0f);
    EXPECT_EQ(state->up.z, 0.0f);
}

TEST_F(RendererObjectTest, CreationFailsCleanly)
{
    for (D3D9Call call : {D3D9Call::Direct3DCreate9, D3D9Call::GetAdapterDisplayMode, D3D9Call::CreateDevice}) {
        d3d9_test_fail(call);
        EXPECT_EQ(create_renderer(&window), nullptr) << static_cast<int>(call);
    }
    // Without a back buffer there is no aspect: the renderer is made and
    // the projection stays the device's own.
    d3d9_test_fail(D3D9Call::GetBackBuffer);
    Renderer* other = create_renderer(&window);
    ASSERT_NE(other, nullptr);
    D3DMATRIX projection;
    renderer_state(other)->device->GetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_EQ(projection._11, 1.0f);
    EXPECT_EQ(projection._34, 0.0f);
    // The same in resize.
    d3d9_test_fail(D3D9Call::GetBackBuffer);
    EXPECT_EQ(other->ops.resize(other, &window, 320, 240), 0);
    renderer_state(other)->device->GetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_EQ(projection._11, 1.0f);
    other->ops.destroy(other);
}

TEST_F(RendererObjectTest, ForeignHandlesAreIgnored)
{
    RendererState foreign_state{};
    std::memcpy(foreign_state.tag, "Direct3X", 8);
    Renderer foreign{&foreign_state, renderer->ops};
    Renderer stateless{nullptr, renderer->ops};
    const CameraSetting camera{100, 0, 90};
    const MarkerPair pair{0.5, 0.5};
    FieldPtr field = make_field([](int, int) { return 1.0; });
    for (Renderer* handle : {static_cast<Renderer*>(nullptr), &stateless, &foreign}) {
        EXPECT_EQ(renderer->ops.render(handle), 0);
        EXPECT_EQ(renderer->ops.resize(handle, &window, 10, 10), 0);
        EXPECT_EQ(renderer->ops.set_camera(handle, &camera), 0);
        EXPECT_EQ(renderer->ops.set_texture(handle, "x.bmp"), 0);
        renderer->ops.set_field(handle, field.get());
        renderer->ops.set_marker(handle, &pair);
        renderer->ops.destroy(handle);
    }
    EXPECT_EQ(foreign_state.field, nullptr);
    EXPECT_EQ(foreign_state.marker_on, 0);
    EXPECT_EQ(window.frames_presented(), 0u);
}

// The draw calls of a frame: the 80,000 triangles in pieces of at most the
// device's limit over consecutive index ranges, each naming every vertex.
TEST_F(RendererObjectTest, BatchesAreDrawnInPiecesOfTheDeviceLimit)
{
    FieldPtr field = make_field([](int i, int) { return i / 200.0; });
    struct Case {
        DWORD limit;
        std::vector<D3D9IndexedDraw> draws;
    };
    const Case cases[] = {
        {65535,
         {{D3DPT_TRIANGLELIST, 0, 0, 40401, 0, 65535},
          {D3DPT_TRIANGLELIST, 0, 0, 40401, 196605, 14465},
          {D3DPT_LINELIST, 0, 0, 4422, 0, 4400},
          {D3DPT_LINELIST, 0, 0, 402, 0, 400}}},
        {80000,
         {{D3DPT_TRIANGLELIST, 0, 0, 40401, 0, 80000},
          {D3DPT_LINELIST, 0, 0, 4422, 0, 4400},
          {D3DPT_LINELIST, 0, 0, 402, 0, 400}}},
        {4000,
         {{D3DPT_TRIANGLELIST, 0, 0, 40401, 228000, 4000},
          {D3DPT_LINELIST, 0, 0, 4422, 0, 4000},
          {D3DPT_LINELIST, 0, 0, 4422, 8000, 400},
          {D3DPT_LINELIST, 0, 0, 402, 0, 400}}},
    };
    const MarkerPair pair{0.5, 0.5};
    std::vector<uint32_t> picture;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        D3D9Profile profile = d3d9_default_profile();
        profile.max_primitive_count = c.limit;
        d3d9_test_set_profile(profile);
        start();
        renderer->ops.set_field(renderer, field.get());
        renderer->ops.set_marker(renderer, &pair);
        set_camera(100, 0, 90);
        ASSERT_EQ(renderer->ops.render(renderer), S_OK);
        std::vector<D3D9IndexedDraw> draws = d3d9_test_indexed_draws();
        if (c.limit == 4000) // 20 pieces of the surface; the last is listed
            draws.erase(draws.begin(), draws.begin() + 19);
        ASSERT_EQ(draws.size(), c.draws.size());
        for (size_t k = 0; k < draws.size(); ++k) {
            const D3D9IndexedDraw &got = draws[k], &want = c.draws[k];
            EXPECT_EQ(got.type, want.type) << k;
            EXPECT_EQ(got.base_vertex, 0) << k;
            EXPECT_EQ(got.min_index, 0u) << k;
            EXPECT_EQ(got.vertex_count, want.vertex_count) << k;
            EXPECT_EQ(got.start_index, want.start_index) << k;
            EXPECT_EQ(got.primitive_count, want.primitive_count) << k;
        }
        // Whatever the pieces, the picture is the same.
        if (c.limit == 65535) {
            picture = window.frame();
        } else {
            EXPECT_TRUE(window.frame() == picture);
        }
        d3d9_test_reset();
    }
}

TEST_F(RendererObjectTest, GreyBeforeAnyField)
{
    const MarkerPair pair{0.5, 0.5};
    renderer->ops.set_marker(renderer, &pair);
    set_camera(100, 0, 90);
    EXPECT_EQ(renderer->ops.render(renderer), S_OK);
    EXPECT_EQ(window.frames_presented(), 1u);
    EXPECT_EQ(window.frame_width(), 320u);
    EXPECT_EQ(pixels_other_than(kGrey), 0u);
    EXPECT_EQ(d3d9_test_call_count(D3D9Call::DrawIndexedPrimitive), 0u);
}

// Seen from straight above: the lower-left quarter (x and y below 0) is
// raised to 1 and white, the rest flat and black, white grid lines every
// 0.1 and the yellow cross on top; around it the grey background.
TEST_F(RendererObjectTest, TopViewPicture)
{
    FieldPtr field = make_field([](int i, int j) { return i <= 100 && j <= 100 ? 1.0 : 0.0; });
    renderer->ops.set_field(renderer, field.get());
    const MarkerPair pair{0.75, 0.85};
    renderer->ops.set_marker(renderer, &pair);
    set_camera(100, 0, 90);
    renderer->ops.render(renderer);

    EXPECT_EQ(pixel_at(top_view_pixel(-0.25, -0.25, -1)), kWhite);
    EXPECT_EQ(pixel_at(top_view_pixel(0.15, 0.15, 0)), kBlack);
    EXPECT_EQ(pixel_at(top_view_pixel(-0.25, 0.45, 0)), kBlack);
    EXPECT_EQ(pixel_at(top_view_pixel(0.45, -0.45, 0)), kBlack);
    // The flat part's edges lie where the field of view puts them.
    const Pixel right = top_view_pixel(0.5, 0.15, 0), top = top_view_pixel(0.15, 0.5, 0);
    EXPECT_EQ(pixel_at({right.x - 3, right.y}), kBlack);
    EXPECT_EQ(pixel_at({right.x + 3, right.y}), kGrey);
    EXPECT_EQ(pixel_at({top.x, top.y + 3}), kBlack);
    EXPECT_EQ(pixel_at({top.x, top.y - 3}), kGrey);
    EXPECT_EQ(pixel_at({0, 0}), kGrey);
    // Grid lines on the flat part, and the cross at x = 0.25 and y = 0.35.
    EXPECT_TRUE(colour_near(top_view_pixel(0.2, 0.15, -0.01), kWhite));
    EXPECT_TRUE(colour_near(top_view_pixel(0.15, 0.1, -0.01), kWhite));
    EXPECT_TRUE(colour_near(top_view_pixel(0.25, 0.15, -0.01), kYellow));
    EXPECT_TRUE(colour_near(top_view_pixel(0.15, 0.35, -0.01), kYellow));
    EXPECT_FALSE(colour_near(top_view_pixel(0.15, 0.15, 0), kYellow));
}

// A failed reset keeps everything and draws nothing; a good one brings back
// the states, the camera and the picture at the new size.
TEST_F(RendererObjectTest, FailedResetThenAGoodOne)
{
    FieldPtr field = make_field([](int, int) { return 0.5; });
    renderer->ops.set_field(renderer, field.get());
    set_camera(100, 0, 90);
    const D3DMATRIX view = transform(D3DTS_VIEW);
    state->device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);

    d3d9_test_fail(D3D9Call::Reset, 0, 1, D3DERR_DEVICELOST);
    EXPECT_EQ(renderer->ops.resize(renderer, &window, 200, 100), D3DERR_DEVICELOST);
    EXPECT_EQ(state->surface_batch.primitive_count, 80000);
    renderer->ops.render(renderer);
    EXPECT_EQ(window.frames_presented(), 0u);

    window.set_client_size(200, 100);
    EXPECT_EQ(renderer->ops.resize(renderer, &window, 0, 0), 0) << "a zero size is the window's";
    expect_back_buffer(state->device, 200, 100);
    expect_fixed_states(state->device);
    const D3DMATRIX view_after = transform(D3DTS_VIEW);
    EXPECT_EQ(std::memcmp(&view, &view_after, sizeof view), 0);
    EXPECT_FLOAT_EQ(transform(D3DTS_PROJECTION)._11, 5.0273395f / 2.0f);
    EXPECT_EQ(renderer->ops.render(renderer), S_OK);
    EXPECT_EQ(window.frame_width(), 200u);
    EXPECT_EQ(pixel_at(top_view_pixel(-0.15, -0.15, -0.5)), 0xC0C0C0u);
}

TEST_F(RendererObjectTest, DestroyGivesEveryReferenceBack)
{
    FieldPtr field = make_field([](int, int) { return 0.5; });
    const MarkerPair pair{0.5, 0.5};
    renderer->ops.set_marker(renderer, &pair);
    renderer->ops.set_field(renderer, field.get());
    std::vector<IUnknown*> held = {state->d3d, state->device};
    for (const DrawBatch* batch : {&state->surface_batch, &state->grid_batch, &state->marker_batch}) {
        held.push_back(batch->vertex_buffer);
        held.push_back(batch->index_buffer);
    }
    for (IUnknown* object : held)
        object->AddRef();
    renderer->ops.destroy(renderer);
    renderer = nullptr;
    // Buffers first, then the device, then what made it.
    for (size_t k = held.size(); k-- > 0;)
        EXPECT_EQ(held[k]->Release(), 0u) << k;
    EXPECT_EQ(field->ops.width(field.get()), 201) << "the field is not the renderer's";
}

} // namespace

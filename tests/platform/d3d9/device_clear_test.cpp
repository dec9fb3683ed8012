// A large clear is put off until the next draw, whose threads clear each
// band of rows just before drawing into it. Whatever way the buffers are
// reached next, they must look as if the clear had been done at once:
// checked against a model of the two buffers that clears and fills at once.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device_helpers.h"

namespace {

// Clears of this frame are large enough to be put off.
constexpr UINT kSide = 512;

// One call, and what it does to the model.
struct Step {
    enum Kind { Clear, Viewport, Fill } kind;
    DWORD flags = 0;    // Clear
    RECT rect{};        // Clear (empty: the whole viewport), Viewport, Fill
    D3DCOLOR color = 0; // Clear, Fill
    float z = 1.0f;     // Clear
};

Step clear(DWORD flags, D3DCOLOR color, float z, RECT rect = {}) { return {Step::Clear, flags, rect, color, z}; }
Step viewport(RECT rect) { return {Step::Viewport, 0, rect}; }
// A screen-space rectangle of two triangles at depth 0.5, depth test
// LESSEQUAL: exactly the pixels [left, right) x [top, bottom).
Step fill(RECT rect, D3DCOLOR color) { return {Step::Fill, 0, rect, color}; }

constexpr DWORD kBoth = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
constexpr D3DCOLOR kRed = 0xFFC00000, kBlue = 0xFF0000C0, kGreen = 0xFF00C000, kWhite = 0xFFFFFFFF;

struct Buffers {
    std::vector<uint32_t> color = std::vector<uint32_t>(kSide * kSide, 0);
    std::vector<uint16_t> depth = std::vector<uint16_t>(kSide * kSide, 0);
    RECT viewport{0, 0, LONG(kSide), LONG(kSide)};

    void apply(const Step& step)
    {
        if (step.kind == Step::Viewport) {
            viewport = step.rect;
            return;
        }
        const RECT& r = step.rect;
        const bool whole = r.left >= r.right;
        const LONG left = whole ? viewport.left : std::max(viewport.left, r.left);
        const LONG right = whole ? viewport.right : std::min(viewport.right, r.right);
        const LONG top = whole ? viewport.top : std::max(viewport.top, r.top);
        const LONG bottom = whole ? viewport.bottom : std::min(viewport.bottom, r.bottom);
        for (LONG y = top; y < bottom; ++y) {
            for (LONG x = left; x < right; ++x) {
                const size_t at = size_t(y) * kSide + size_t(x);
                if (step.kind == Step::Fill && depth[at] >= 32768) {
                    color[at] = step.color & 0xFFFFFF;
                    depth[at] = 32768;
                } else if (step.kind == Step::Clear) {
                    color[at] = (step.flags & D3DCLEAR_TARGET) ? step.color & 0xFFFFFF : color[at];
                    depth[at] = (step.flags & D3DCLEAR_ZBUFFER) ? uint16_t(step.z * 65535.0f + 0.5f) : depth[at];
                }
            }
        }
    }
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

const Case kCases[] = {
    {"clear alone", {clear(kBoth, kRed, 1.0f)}},
    {"clear, then a draw reaching a few rows", {clear(kBoth, kRed, 1.0f), fill({50, 100, 300, 200}, kBlue)}},
    {"clear, a small clear on top, a draw",
     {clear(kBoth, kRed, 1.0f), clear(D3DCLEAR_TARGET, kWhite, 1.0f, {10, 10, 20, 20}), fill({15, 15, 40, 40}, kBlue)}},
    {"clear, then a draw in the top rows' viewport",
     {clear(kBoth, kRed, 1.0f), viewport({0, 0, LONG(kSide), 128}), fill({0, 0, LONG(kSide), LONG(kSide)}, kGreen)}},
    {"clear, then a draw in the bottom rows' viewport",
     {clear(kBoth, kRed, 1.0f), viewport({0, 384, LONG(kSide), LONG(kSide)}),
      fill({0, 0, LONG(kSide), LONG(kSide)}, kGreen)}},
    {"clear, then a draw in a wider viewport",
     {viewport({0, 0, 256, 256}), clear(kBoth, kRed, 1.0f), viewport({0, 0, LONG(kSide), LONG(kSide)}),
      fill({100, 100, 400, 400}, kBlue)}},
    {"depth alone, nothing passes", {clear(D3DCLEAR_ZBUFFER, 0, 0.0f), fill({0, 0, LONG(kSide), LONG(kSide)}, kBlue)}},
    {"a clear of some rows, then a draw over every row",
     {clear(kBoth, kRed, 1.0f, {0, 100, LONG(kSide), 400}), fill({0, 0, LONG(kSide), LONG(kSide)}, kBlue)}},
    // Depth 0.5 is 32767.5 steps, stored as 32768, which a draw at 0.5 passes.
    {"depth a half, a draw there", {clear(kBoth, kRed, 0.5f), fill({0, 0, 100, 100}, kBlue)}},
    // An X8R8G8B8 target reads opaque, cleared or drawn.
    {"a clear colour of no alpha", {clear(kBoth, 0x0000C0C0, 1.0f), fill({0, 0, 50, 50}, 0x00C0C000)}},
    {"two frames, the second's depth from the first's draw",
     {clear(kBoth, kRed, 1.0f), fill({0, 0, 200, 200}, kBlue), clear(D3DCLEAR_TARGET, kGreen, 1.0f),
      fill({100, 100, 300, 300}, kWhite)}},
};

void run(IDirect3DDevice9* device, const Step& step)
{
    const RECT& r = step.rect;
    if (step.kind == Step::Clear) {
        const D3DRECT rect{r.left, r.top, r.right, r.bottom};
        ASSERT_EQ(device->Clear(r.left < r.right ? 1 : 0, r.left < r.right ? &rect : nullptr, step.flags, step.color,
                                step.z, 0),
                  S_OK);
    } else if (step.kind == Step::Viewport) {
        const D3DVIEWPORT9 vp{DWORD(r.left), DWORD(r.top), DWORD(r.right - r.left), DWORD(r.bottom - r.top), 0, 1};
        ASSERT_EQ(device->SetViewport(&vp), S_OK);
    } else {
        auto at = [&](LONG x, LONG y) { return ScreenVertex{float(x), float(y), 0.5f, 1.0f, step.color, 0, 0}; };
        const ScreenVertex quad[6] = {at(r.left, r.top),    at(r.right, r.top), at(r.left, r.bottom),
                                      at(r.left, r.bottom), at(r.right, r.top), at(r.right, r.bottom)};
        const InterfacePtr<IDirect3DVertexBuffer9> vb = filled_vertex_buffer(device, quad, sizeof quad);
        device->SetFVF(kScreenFvf);
        device->SetStreamSource(0, vb.get(), 0, sizeof(ScreenVertex));
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), S_OK);
        device->SetStreamSource(0, nullptr, 0, 0);
    }
}

// A locked X8R8G8B8 surface's pixels as 0x00RRGGBB, as the window has
// them; `not_opaque` counts those whose unused byte is not 0xFF.
std::vector<uint32_t> pixels_of(IDirect3DSurface9* surface, size_t* not_opaque = nullptr)
{
    const std::vector<uint8_t> bytes = surface_bytes(surface, kSide * 4, kSide);
    std::vector<uint32_t> pixels(kSide * kSide);
    std::memcpy(pixels.data(), bytes.data(), bytes.size());
    for (uint32_t& pixel : pixels) {
        if (not_opaque && pixel >> 24 != 0xFF) {
            ++*not_opaque;
        }
        pixel &= 0xFFFFFF;
    }
    return pixels;
}

// Where two frames first differ, for the message.
std::string first_difference(const std::vector<uint32_t>& got, const std::vector<uint32_t>& wanted)
{
    const auto at = std::mismatch(got.begin(), got.end(), wanted.begin()).first - got.begin();
    return "first at (" + std::to_string(at % kSide) + ", " + std::to_string(at / kSide) + ")";
}

TEST(DeviceClearTest, ThePutOffClearIsDoneBeforeAnythingReachesTheBuffers)
{
    // Two drawing threads draw even the smallest call in bands; the
    // device's own choice draws such calls on one thread.
    for (const UINT threads : {2u, 0u}) {
        for (const bool through_lock : {true, false}) {
            for (const Case& c : kCases) {
                SCOPED_TRACE(std::string(c.name) + (through_lock ? ", locked" : ", presented") + ", threads " +
                             std::to_string(threads));
                D3D9Profile profile = d3d9_default_profile();
                profile.raster_threads = threads;
                ProfiledDevice made(profile, kSide, kSide);
                IDirect3DDevice9* device = made.device.get();
                device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
                // Left over from an earlier frame: black, every depth 0.
                Buffers model;
                ASSERT_EQ(device->Clear(0, nullptr, kBoth, 0xFF000000, 0.0f, 0), S_OK);
                ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
                ASSERT_EQ(device->BeginScene(), S_OK);
                for (const Step& step : c.steps) {
                    run(device, step);
                    model.apply(step);
                }
                ASSERT_EQ(device->EndScene(), S_OK);
                if (through_lock) {
                    InterfacePtr<IDirect3DSurface9> back;
                    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(back)), S_OK);
                    size_t not_opaque = 0;
                    const std::vector<uint32_t> got = pixels_of(back.get(), &not_opaque);
                    EXPECT_EQ(got, model.color) << first_difference(got, model.color);
                    EXPECT_EQ(not_opaque, 0u);
                }
                ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
                EXPECT_EQ(made.window.frame(), model.color) << first_difference(made.window.frame(), model.color);
            }
        }
    }
}

TEST(DeviceClearTest, ABufferHeldAcrossResetKeepsThePutOffClear)
{
    ProfiledDevice made(d3d9_default_profile(), kSide, kSide);
    InterfacePtr<IDirect3DSurface9> old_back;
    ASSERT_EQ(made.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, receive(old_back)), S_OK);
    ASSERT_EQ(made.device->Clear(0, nullptr, kBoth, kRed, 1.0f, 0), S_OK);
    D3DPRESENT_PARAMETERS params = windowed_params();
    ASSERT_EQ(made.device->Reset(&params), S_OK);
    EXPECT_EQ(pixels_of(old_back.get()).back(), kRed & 0xFFFFFF);
}

} // namespace

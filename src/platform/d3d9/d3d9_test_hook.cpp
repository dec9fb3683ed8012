// State of the test hook and the device's side of it (device_profile.h).
#include "platform/d3d9/d3d9_test_hook.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <thread>

#include "platform/d3d9/device_profile.h"
#include "platform/d3d9/drawing_threads.h"
#include "platform/d3d9/raster_workers.h"
#include "platform/d3d9/texel_formats.h"

namespace {

struct ArmedFailure {
    bool armed = false;
    UINT skip = 0;
    UINT times = 0; // 0: for ever
    HRESULT result = D3DERR_INVALIDCALL;
};

struct HookState {
    bool custom_profile = false;
    D3D9Profile profile;
    std::array<ArmedFailure, static_cast<size_t>(D3D9Call::Count)> failures{};
    std::array<UINT, static_cast<size_t>(D3D9Call::Count)> counts{};
    std::array<D3D9IndexedDraw, 64> draws{}; // a ring of the last calls
    size_t draws_noted = 0;
};

HookState& hook()
{
    static HookState state;
    return state;
}

} // namespace

void D3D9Profile::remove_format(D3DFORMAT format)
{
    texture_formats.erase(std::remove(texture_formats.begin(), texture_formats.end(), format), texture_formats.end());
}

D3D9Profile d3d9_default_profile()
{
    D3D9Profile profile;
    profile.texture_caps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
    profile.max_texture_width = 4096;
    profile.max_texture_height = 4096;
    profile.max_texture_aspect_ratio = 4096;
    profile.max_primitive_count = 0xFFFFF;
    const auto formats = d3d9_default_texture_formats();
    profile.texture_formats.assign(formats.begin(), formats.end());
    profile.pitch_padding = 0;
    profile.raster_threads = 0;
    profile.raster_worker_delay_us = 0;
    profile.raster_lanes = 8;
    profile.depth_tiles = true;
    return profile;
}

void d3d9_test_set_profile(const D3D9Profile& profile)
{
    hook().custom_profile = true;
    hook().profile = profile;
}

void d3d9_test_fail(D3D9Call call, UINT skip, UINT times, HRESULT result)
{
    ArmedFailure& failure = hook().failures[static_cast<size_t>(call)];
    failure.armed = true;
    failure.skip = skip;
    failure.times = times;
    failure.result = result;
}

UINT d3d9_test_call_count(D3D9Call call) { return hook().counts[static_cast<size_t>(call)]; }

std::vector<D3D9IndexedDraw> d3d9_test_indexed_draws()
{
    const HookState& h = hook();
    const size_t kept = std::min(h.draws_noted, h.draws.size());
    std::vector<D3D9IndexedDraw> draws;
    for (size_t k = h.draws_noted - kept; k < h.draws_noted; ++k) {
        draws.push_back(h.draws[k % h.draws.size()]);
    }
    return draws;
}

void d3d9_test_reset() { hook() = HookState{}; }

namespace {
std::atomic<UINT> g_drawing_threads{0};
} // namespace

void d3d9_set_drawing_threads(UINT threads) { g_drawing_threads.store(threads); }

D3D9Profile current_device_profile()
{
    if (hook().custom_profile) {
        return hook().profile;
    }
    D3D9Profile profile = d3d9_default_profile();
    profile.raster_threads = g_drawing_threads.load();
    return profile;
}

uint32_t drawing_threads(const D3D9Profile& profile)
{
    if (profile.raster_threads > 0) {
        return profile.raster_threads;
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

UINT d3d9_test_live_workers() { return RasterWorkers::live_workers(); }

HRESULT injected_failure(D3D9Call call)
{
    const size_t index = static_cast<size_t>(call);
    ++hook().counts[index];
    ArmedFailure& failure = hook().failures[index];
    if (!failure.armed) {
        return S_OK;
    }
    if (failure.skip > 0) {
        --failure.skip;
        return S_OK;
    }
    if (failure.times > 0 && --failure.times == 0) {
        failure.armed = false;
    }
    return failure.result;
}

void note_indexed_draw(const D3D9IndexedDraw& draw)
{
    HookState& h = hook();
    h.draws[h.draws_noted++ % h.draws.size()] = draw;
}

// Clearing and drawing into the device's buffers: the checks in front of
// every draw call, the call's states gathered for the pipeline, and the
// frame's clear, put off until the first draw after it so that each drawing
// thread clears the rows it is about to draw into while they are in its
// cache, instead of the whole frame passing through memory once more.
#include "platform/d3d9/software_device.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>

#include "platform/d3d9/device_profile.h"

namespace {

// Clears of fewer pixels are done at once on the caller's thread alone:
// waking the workers would cost more than they save. Larger ones wait for
// the next draw.
constexpr int64_t kLeastSharedClear = int64_t(1) << 17;

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b)
{
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
        }
    }
    return r;
}

// True when `arg` is the texture and `other` the diffuse (or current) colour, plainly.
bool texture_and_diffuse(DWORD a, DWORD b)
{
    const auto diffuse = [](DWORD x) { return x == D3DTA_DIFFUSE || x == D3DTA_CURRENT; };
    return (a == D3DTA_TEXTURE && diffuse(b)) || (b == D3DTA_TEXTURE && diffuse(a));
}

Blend classify_blend(const StageBlend& s)
{
    if (s.color_op == D3DTOP_DISABLE) {
        return Blend::Diffuse;
    }
    if (s.color_op == D3DTOP_MODULATE && texture_and_diffuse(s.color_arg1, s.color_arg2)) {
        if (s.alpha_op == D3DTOP_MODULATE && texture_and_diffuse(s.alpha_arg1, s.alpha_arg2)) {
            return Blend::Modulate;
        }
        if ((s.alpha_op == D3DTOP_SELECTARG1 && s.alpha_arg1 == D3DTA_TEXTURE) ||
            (s.alpha_op == D3DTOP_SELECTARG2 && s.alpha_arg2 == D3DTA_TEXTURE)) {
            return Blend::ModulateTextureAlpha;
        }
    }
    const bool color_from_diffuse = (s.color_op == D3DTOP_SELECTARG1 && s.color_arg1 == D3DTA_DIFFUSE) ||
        (s.color_op == D3DTOP_SELECTARG2 && s.color_arg2 == D3DTA_DIFFUSE);
    if (color_from_diffuse && s.alpha_op == D3DTOP_MODULATE && texture_and_diffuse(s.alpha_arg1, s.alpha_arg2)) {
        return Blend::DiffuseModulateAlpha;
    }
    return Blend::General;
}

// Whether every one of `count` indices lies in [first, end): the smallest
// and the largest are found in one pass without branches, which the
// compiler turns into vector code; a draw's indices are checked every call.
template <class Index>
bool indices_within(const uint8_t* bytes, UINT count, uint64_t first, uint64_t end)
{
    Index lowest = std::numeric_limits<Index>::max(), highest = 0;
    for (UINT k = 0; k < count; ++k) {
        Index index;
        std::memcpy(&index, bytes + sizeof(Index) * size_t(k), sizeof(Index));
        lowest = std::min(lowest, index);
        highest = std::max(highest, index);
    }
    return count == 0 || (lowest >= first && highest < end);
}

} // namespace

HRESULT SoftDevice::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil)
{
    (void)Stencil;
    if (!usable_ || Flags == 0 || (Flags & ~DWORD(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) ||
        (Count > 0 && !pRects)) {
        return D3DERR_INVALIDCALL;
    }
    // The depth buffer has no stencil bits.
    if ((Flags & D3DCLEAR_STENCIL) || ((Flags & D3DCLEAR_ZBUFFER) && (!depth_buffer_ || !(Z >= 0.0f && Z <= 1.0f)))) {
        return D3DERR_INVALIDCALL;
    }
    const D3DVIEWPORT9& vp = states_.viewport;
    ClearArea area;
    area.flags = Flags;
    area.colour = Color | (back_buffer_->format() == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u);
    area.depth = static_cast<uint16_t>(Z * 65535.0f + 0.5f);
    auto clear_area = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
        x0 = std::max<LONG>(x0, static_cast<LONG>(vp.X));
        y0 = std::max<LONG>(y0, static_cast<LONG>(vp.Y));
        x1 = std::min<LONG>(x1, static_cast<LONG>(vp.X + vp.Width));
        y1 = std::min<LONG>(y1, static_cast<LONG>(vp.Y + vp.Height));
        if (x0 >= x1 || y0 >= y1) {
            return; // empty, inverted or outside the viewport
        }
        // What an earlier clear left to do comes first.
        settle_clear();
        area.x0 = static_cast<int>(x0);
        area.y0 = static_cast<int>(y0);
        area.x1 = static_cast<int>(x1);
        area.y1 = static_cast<int>(y1);
        if (int64_t(x1 - x0) * (y1 - y0) >= kLeastSharedClear) {
            put_off_clear_ = area;
        } else {
            clear_rows(area, area.y0, area.y1);
        }
    };
    if (Count == 0 || !pRects) {
        clear_area(0, 0, static_cast<LONG>(back_buffer_->width()), static_cast<LONG>(back_buffer_->height()));
    } else {
        for (DWORD i = 0; i < Count; ++i) {
            clear_area(pRects[i].x1, pRects[i].y1, pRects[i].x2, pRects[i].y2);
        }
    }
    return S_OK;
}

void SoftDevice::clear_rows(const ClearArea& area, int first, int end)
{
    first = std::max(first, area.y0);
    end = std::min(end, area.y1);
    for (int y = first; y < end; ++y) {
        if (area.flags & D3DCLEAR_TARGET) {
            uint32_t* row = reinterpret_cast<uint32_t*>(back_buffer_->bits() + size_t(y) * back_buffer_->pitch());
            std::fill(row + area.x0, row + area.x1, area.colour);
        }
        if (area.flags & D3DCLEAR_ZBUFFER) {
            uint16_t* row = reinterpret_cast<uint16_t*>(depth_buffer_->bits() + size_t(y) * depth_buffer_->pitch());
            std::fill(row + area.x0, row + area.x1, area.depth);
        }
    }
}

void SoftDevice::settle_clear()
{
    if (put_off_clear_.flags == 0) {
        return;
    }
    const ClearArea area = std::exchange(put_off_clear_, ClearArea{});
    auto clear = [&](int first, int end) { clear_rows(area, first, end); };
    try {
        pipeline_.share_rows(area.y0, area.y1, pipeline_.threads(), clear);
    } catch (...) {
        // The drawing threads could not be started, and nothing was
        // cleared: this thread clears it all. A clear is never lost.
        clear(area.y0, area.y1);
    }
}

uint32_t SoftDevice::threads_for(UINT primitives) const
{
    // Left to itself, the device draws small calls alone: waking the
    // workers would cost more than they save.
    if (profile_.raster_threads == 0 && primitives < 2048) {
        return 1;
    }
    return pipeline_.threads();
}

HRESULT SoftDevice::prepare_draw(D3DPRIMITIVETYPE type, UINT count, DrawCall* call)
{
    if (!drawable() || !stream_ || stream_stride_ == 0 || count == 0 || count > caps_.MaxPrimitiveCount ||
        indices_for(type, count) == 0) {
        return D3DERR_INVALIDCALL;
    }
    const DWORD* stage = states_.stage[0];
    if (!decode_fvf(states_.fvf, stage[D3DTSS_TEXCOORDINDEX] & 0xFFFF, &call->layout)) {
        return D3DERR_INVALIDCALL;
    }
    call->type = type;
    call->primitive_count = count;
    call->stride = stream_stride_;
    call->transform = multiply(multiply(states_.world[0], states_.view), states_.projection);
    call->viewport = states_.viewport;

    RasterTarget& target = call->target;
    target.color = reinterpret_cast<uint32_t*>(back_buffer_->bits());
    target.color_stride = back_buffer_->pitch() / 4;
    target.color_set_bits = back_buffer_->format() == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
    target.depth = depth_buffer_ ? reinterpret_cast<uint16_t*>(depth_buffer_->bits()) : nullptr;
    target.depth_stride = depth_buffer_ ? depth_buffer_->pitch() / 2 : 0;
    target.x0 = static_cast<int>(states_.viewport.X);
    target.y0 = static_cast<int>(states_.viewport.Y);
    target.x1 = static_cast<int>(states_.viewport.X + states_.viewport.Width);
    target.y1 = static_cast<int>(states_.viewport.Y + states_.viewport.Height);

    const DWORD* rs = states_.render;
    PixelShading& shading = call->shading;
    shading.depth_test = rs[D3DRS_ZENABLE] != D3DZB_FALSE && depth_buffer_;
    shading.depth_write = rs[D3DRS_ZWRITEENABLE] != FALSE;
    shading.depth_func = rs[D3DRS_ZFUNC];
    shading.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    shading.color_write = (rs[D3DRS_COLORWRITEENABLE] & 0xF) != 0;
    shading.lanes = static_cast<int>(profile_.raster_lanes);
    shading.stage =
        StageBlend{stage[D3DTSS_COLOROP],   stage[D3DTSS_COLORARG1], stage[D3DTSS_COLORARG2], stage[D3DTSS_COLORARG0],
                   stage[D3DTSS_ALPHAOP],   stage[D3DTSS_ALPHAARG1], stage[D3DTSS_ALPHAARG2], stage[D3DTSS_ALPHAARG0],
                   rs[D3DRS_TEXTUREFACTOR], stage[D3DTSS_CONSTANT]};
    shading.blend = classify_blend(shading.stage);
    PixelOutput& output = shading.output;
    output.alpha_test = rs[D3DRS_ALPHATESTENABLE] != FALSE;
    output.alpha_func = rs[D3DRS_ALPHAFUNC];
    output.alpha_ref = rs[D3DRS_ALPHAREF] & 0xFF;
    output.blend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
    output.src_blend = blend_factor_known(rs[D3DRS_SRCBLEND]) ? rs[D3DRS_SRCBLEND] : DWORD(D3DBLEND_ONE);
    output.dest_blend = blend_factor_known(rs[D3DRS_DESTBLEND]) ? rs[D3DRS_DESTBLEND] : DWORD(D3DBLEND_ZERO);
    shading.sampler = nullptr;
    if (textures_[0]) {
        const DWORD* sa = states_.sampler[0];
        sampler_.levels = textures_[0]->sampler_levels();
        sampler_.address_u = sa[D3DSAMP_ADDRESSU];
        sampler_.address_v = sa[D3DSAMP_ADDRESSV];
        sampler_.border = sa[D3DSAMP_BORDERCOLOR];
        sampler_.mag_filter = sa[D3DSAMP_MAGFILTER];
        sampler_.min_filter = sa[D3DSAMP_MINFILTER];
        sampler_.mip_filter = sa[D3DSAMP_MIPFILTER];
        std::memcpy(&sampler_.lod_bias, &sa[D3DSAMP_MIPMAPLODBIAS], sizeof(float));
        sampler_.max_mip_level = sa[D3DSAMP_MAXMIPLEVEL];
        shading.sampler = &sampler_;
    }
    finish_shading(&shading);
    call->cull = rs[D3DRS_CULLMODE] == D3DCULL_CW ? 1 : rs[D3DRS_CULLMODE] == D3DCULL_CCW ? -1 : 0;
    call->last_pixel = rs[D3DRS_LASTPIXEL] != FALSE;
    return S_OK;
}

HRESULT SoftDevice::draw(const DrawCall& call)
{
    // A clear put off to here is done by the drawing threads, each in its
    // rows just before it draws there, when the call's rows hold it all.
    std::function<void(int, int)> clear_first;
    if (put_off_clear_.flags != 0) {
        if (put_off_clear_.y0 >= call.target.y0 && put_off_clear_.y1 <= call.target.y1) {
            clear_first = [this](int first, int end) { clear_rows(put_off_clear_, first, end); };
        } else {
            settle_clear();
        }
    }
    try {
        pipeline_.draw(call, threads_for(call.primitive_count), profile_.raster_threads == 0,
                       clear_first ? &clear_first : nullptr);
    } catch (...) {
        // Scratch memory or the drawing threads could not be had, before
        // any band was drawn: the clear is done now, as it would have been.
        settle_clear();
        return E_OUTOFMEMORY;
    }
    put_off_clear_ = ClearArea{};
    return S_OK;
}

HRESULT SoftDevice::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount)
{
    DrawCall call;
    const HRESULT prepared = prepare_draw(PrimitiveType, PrimitiveCount, &call);
    if (FAILED(prepared)) {
        return prepared;
    }
    const UINT vertices = indices_for(PrimitiveType, PrimitiveCount);
    if (uint64_t(StartVertex) + vertices - 1 > caps_.MaxVertexIndex) {
        return D3DERR_INVALIDCALL;
    }
    const uint64_t end =
        uint64_t(stream_offset_) + (uint64_t(StartVertex) + vertices - 1) * stream_stride_ + call.layout.bytes_read;
    if (end > stream_->size()) {
        return D3DERR_INVALIDCALL;
    }
    call.vertices = stream_->data() + stream_offset_ + size_t(StartVertex) * stream_stride_;
    call.vertex_count = vertices;
    return draw(call);
}

HRESULT SoftDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                         UINT NumVertices, UINT startIndex, UINT primCount)
{
    note_indexed_draw(
        D3D9IndexedDraw{PrimitiveType, BaseVertexIndex, MinVertexIndex, NumVertices, startIndex, primCount});
    if (const HRESULT injected = injected_failure(D3D9Call::DrawIndexedPrimitive); FAILED(injected)) {
        return injected;
    }
    DrawCall call;
    const HRESULT prepared = prepare_draw(PrimitiveType, primCount, &call);
    if (FAILED(prepared)) {
        return prepared;
    }
    if (!indices_ || NumVertices == 0) {
        return D3DERR_INVALIDCALL;
    }
    const UINT index_bytes = indices_->layout() == D3DFMT_INDEX32 ? 4 : 2;
    const UINT index_count = indices_for(PrimitiveType, primCount);
    if ((uint64_t(startIndex) + index_count) * index_bytes > indices_->size()) {
        return D3DERR_INVALIDCALL;
    }
    // Every vertex the call may reach must lie inside the stream.
    const int64_t first_vertex = int64_t(BaseVertexIndex) + MinVertexIndex;
    const int64_t last_vertex = first_vertex + NumVertices - 1;
    if (first_vertex < 0 || last_vertex > int64_t(caps_.MaxVertexIndex) ||
        uint64_t(stream_offset_) + uint64_t(last_vertex) * stream_stride_ + call.layout.bytes_read > stream_->size()) {
        return D3DERR_INVALIDCALL;
    }
    const uint8_t* indices = indices_->data() + size_t(startIndex) * index_bytes;
    const uint64_t range_end = uint64_t(MinVertexIndex) + NumVertices;
    if (range_end - 1 > caps_.MaxVertexIndex) {
        return D3DERR_INVALIDCALL;
    }
    const bool within = index_bytes == 4 ? indices_within<uint32_t>(indices, index_count, MinVertexIndex, range_end)
                                         : indices_within<uint16_t>(indices, index_count, MinVertexIndex, range_end);
    if (!within) {
        return D3DERR_INVALIDCALL;
    }
    call.indices = indices;
    call.index32 = index_bytes == 4;
    call.index_bias = -static_cast<INT>(MinVertexIndex);
    call.vertices = stream_->data() + stream_offset_ + size_t(first_vertex) * stream_stride_;
    call.vertex_count = NumVertices;
    return draw(call);
}

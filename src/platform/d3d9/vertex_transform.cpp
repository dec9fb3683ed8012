// The vertex transform: each vertex of a call from its bytes to clip space,
// its outcode and its place on the screen, four at a time where SSE2 is
// there.
#include <cmath>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#include <emmintrin.h>
#endif

#include "platform/d3d9/clip_space.h"
#include "platform/d3d9/draw_pipeline.h"

namespace {

float load_float(const uint8_t* p)
{
    float value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

} // namespace

// transform_range and transform_four work out the same bits.
ClipVertex clip_vertex(const DrawCall& call, UINT i)
{
    const VertexLayout& layout = call.layout;
    const D3DMATRIX& m = call.transform;
    const uint8_t* p = call.vertices + size_t(i) * call.stride;
    ClipVertex c;
    c.u = c.v = 0.0f;
    if (layout.texcoord_offset >= 0) {
        c.u = load_float(p + layout.texcoord_offset);
        c.v = layout.texcoord_floats >= 2 ? load_float(p + layout.texcoord_offset + 4) : 0.0f;
    }
    uint32_t diffuse = 0xFFFFFFFFu;
    if (layout.diffuse_offset >= 0) {
        std::memcpy(&diffuse, p + layout.diffuse_offset, 4);
    }
    c.r = static_cast<float>((diffuse >> 16) & 255);
    c.g = static_cast<float>((diffuse >> 8) & 255);
    c.b = static_cast<float>(diffuse & 255);
    c.a = static_cast<float>(diffuse >> 24);
    const float x = load_float(p), y = load_float(p + 4), z = load_float(p + 8);
    if (layout.pretransformed) {
        c.x = x;
        c.y = y;
        c.z = z;
        c.w = load_float(p + 12);
        return c;
    }
    const float w_in = layout.position_w ? load_float(p + 12) : 1.0f;
    c.x = x * m._11 + y * m._21 + z * m._31 + w_in * m._41;
    c.y = x * m._12 + y * m._22 + z * m._32 + w_in * m._42;
    c.z = x * m._13 + y * m._23 + z * m._33 + w_in * m._43;
    c.w = x * m._14 + y * m._24 + z * m._34 + w_in * m._44;
    return c;
}

// transform_four stores four fields at a time by offset: screen fx, fy, z,
// invw then uw, vw, r, g.
static_assert(offsetof(RasterVertex, fx) == 0 && offsetof(RasterVertex, fy) == 4 && offsetof(RasterVertex, z) == 8 &&
              offsetof(RasterVertex, invw) == 12 && offsetof(RasterVertex, uw) == 16 &&
              offsetof(RasterVertex, vw) == 20 && offsetof(RasterVertex, r) == 24 && offsetof(RasterVertex, g) == 28);
static_assert(offsetof(ClipVertex, x) == 0 && offsetof(ClipVertex, y) == 4 && offsetof(ClipVertex, z) == 8 &&
              offsetof(ClipVertex, w) == 12 && offsetof(ClipVertex, u) == 16 && offsetof(ClipVertex, v) == 20 &&
              offsetof(ClipVertex, r) == 24 && offsetof(ClipVertex, g) == 28);
static_assert(sizeof(int32_t) == sizeof(float), "fx and fy travel in float lanes");

#if defined(__SSE2__)
// Four vertices at a time, one per lane, with the arithmetic of the loop
// below in the same order, so the same bits. A vertex outside the volume
// gets screen fields too, which nothing reads.
void DrawPipeline::transform_four(const DrawCall& call, UINT i, const ViewportMap& map, float gx, float gy)
{
    const VertexLayout& layout = call.layout;
    const D3DMATRIX& m = call.transform;
    const uint8_t* p[4];
    for (int k = 0; k < 4; ++k) {
        p[k] = call.vertices + size_t(i + k) * call.stride;
    }
    auto field = [&](int offset) {
        return _mm_setr_ps(load_float(p[0] + offset), load_float(p[1] + offset), load_float(p[2] + offset),
                           load_float(p[3] + offset));
    };
    const __m128 x = field(0), y = field(4), z = field(8);
    const __m128 w_in = layout.position_w ? field(12) : _mm_set1_ps(1.0f);
    __m128 u = _mm_setzero_ps(), v = _mm_setzero_ps();
    if (layout.texcoord_offset >= 0) {
        u = field(layout.texcoord_offset);
        v = layout.texcoord_floats >= 2 ? field(layout.texcoord_offset + 4) : _mm_setzero_ps();
    }
    __m128i diffuse = _mm_set1_epi32(-1);
    if (layout.diffuse_offset >= 0) {
        uint32_t colors[4];
        for (int k = 0; k < 4; ++k) {
            std::memcpy(&colors[k], p[k] + layout.diffuse_offset, 4);
        }
        diffuse = _mm_setr_epi32(static_cast<int>(colors[0]), static_cast<int>(colors[1]), static_cast<int>(colors[2]),
                                 static_cast<int>(colors[3]));
    }
    const __m128i byte = _mm_set1_epi32(255);
    const __m128 r = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(diffuse, 16), byte));
    const __m128 g = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(diffuse, 8), byte));
    const __m128 b = _mm_cvtepi32_ps(_mm_and_si128(diffuse, byte));
    const __m128 a = _mm_cvtepi32_ps(_mm_srli_epi32(diffuse, 24));
    auto row = [&](float m1, float m2, float m3, float m4) {
        return _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(x, _mm_set1_ps(m1)), _mm_mul_ps(y, _mm_set1_ps(m2))),
                                     _mm_mul_ps(z, _mm_set1_ps(m3))),
                          _mm_mul_ps(w_in, _mm_set1_ps(m4)));
    };
    const __m128 cx = row(m._11, m._21, m._31, m._41), cy = row(m._12, m._22, m._32, m._42);
    const __m128 cz = row(m._13, m._23, m._33, m._43), cw = row(m._14, m._24, m._34, m._44);
    // outcode_of: a NaN anywhere counts as outside every plane.
    const __m128 zero = _mm_setzero_ps(), gxw = _mm_mul_ps(_mm_set1_ps(gx), cw), gyw = _mm_mul_ps(_mm_set1_ps(gy), cw);
    auto outside = [&](__m128 distance, uint32_t plane) {
        return _mm_andnot_si128(_mm_castps_si128(_mm_cmpge_ps(distance, zero)),
                                _mm_set1_epi32(static_cast<int>(plane)));
    };
    __m128i code = _mm_or_si128(outside(cz, kNear), outside(_mm_sub_ps(cw, cz), kFar));
    code = _mm_or_si128(code, _mm_or_si128(outside(_mm_add_ps(cx, gxw), kLeft), outside(_mm_sub_ps(gxw, cx), kRight)));
    code = _mm_or_si128(code, _mm_or_si128(outside(_mm_add_ps(cy, gyw), kBottom), outside(_mm_sub_ps(gyw, cy), kTop)));
    // ViewportMap::map
    const __m128 invw = _mm_div_ps(_mm_set1_ps(1.0f), cw);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 sx =
        _mm_add_ps(_mm_set1_ps(map.x), _mm_mul_ps(_mm_add_ps(one, _mm_mul_ps(cx, invw)), _mm_set1_ps(map.half_width)));
    const __m128 sy =
        _mm_add_ps(_mm_set1_ps(map.y), _mm_mul_ps(_mm_sub_ps(one, _mm_mul_ps(cy, invw)), _mm_set1_ps(map.half_height)));
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 limit = _mm_set1_ps(kMaxScreenCoordinate);
    const __m128 placed = _mm_and_ps(
        _mm_and_ps(_mm_cmpgt_ps(cw, zero), _mm_cmplt_ps(_mm_and_ps(invw, magnitude), _mm_set1_ps(INFINITY))),
        _mm_and_ps(_mm_cmplt_ps(_mm_and_ps(sx, magnitude), limit), _mm_cmplt_ps(_mm_and_ps(sy, magnitude), limit)));
    // Inside the volume but not placeable: not drawable.
    const __m128i unplaced = _mm_andnot_si128(_mm_castps_si128(placed), _mm_cmpeq_epi32(code, _mm_setzero_si128()));
    code = _mm_or_si128(code, _mm_and_si128(unplaced, _mm_set1_epi32(kInvalid)));
    const __m128 subpixel = _mm_set1_ps(static_cast<float>(kSubpixel));
    const __m128 fx = _mm_castsi128_ps(_mm_cvtps_epi32(_mm_mul_ps(sx, subpixel)));
    const __m128 fy = _mm_castsi128_ps(_mm_cvtps_epi32(_mm_mul_ps(sy, subpixel)));
    const __m128 depth =
        _mm_add_ps(_mm_set1_ps(map.min_z), _mm_mul_ps(_mm_mul_ps(cz, invw), _mm_set1_ps(map.depth_range)));
    const __m128 uw = _mm_mul_ps(u, invw), vw = _mm_mul_ps(v, invw);
    // Four fields of the four vertices at a time, transposed into place
    // `offset` bytes into each.
    auto put = [this, i](size_t offset, __m128 f0, __m128 f1, __m128 f2, __m128 f3) {
        _MM_TRANSPOSE4_PS(f0, f1, f2, f3);
        const __m128 fields[4] = {f0, f1, f2, f3};
        for (int k = 0; k < 4; ++k) {
            _mm_storeu_ps(reinterpret_cast<float*>(reinterpret_cast<uint8_t*>(&vertices_[i + k]) + offset), fields[k]);
        }
    };
    constexpr size_t kScreen = offsetof(Vertex, screen), kHalf = 4 * sizeof(float);
    put(kScreen, fx, fy, depth, invw);
    put(kScreen + kHalf, uw, vw, r, g);
    alignas(16) float blue[4], alpha[4];
    alignas(16) uint32_t codes[4];
    _mm_store_ps(blue, b);
    _mm_store_ps(alpha, a);
    _mm_store_si128(reinterpret_cast<__m128i*>(codes), code);
    for (int k = 0; k < 4; ++k) {
        Vertex& out = vertices_[i + k];
        out.screen.b = blue[k];
        out.screen.a = alpha[k];
        out.outcode = codes[k];
    }
}
#endif

void DrawPipeline::transform_range(const DrawCall& call, UINT first, UINT end)
{
    const VertexLayout& layout = call.layout;
    const ViewportMap viewport(call.viewport);
    float gx, gy;
    guard_band(call.viewport, &gx, &gy);
#if defined(__SSE2__)
    if (!layout.pretransformed) {
        for (; first + 4 <= end; first += 4) {
            transform_four(call, first, viewport, gx, gy);
        }
    }
#endif
    for (UINT i = first; i < end; ++i) {
        Vertex& out = vertices_[i];
        const ClipVertex c = clip_vertex(call, i);
        if (layout.pretransformed) {
            RasterVertex& s = out.screen;
            const float rhw = c.w;
            const bool usable = std::fabs(c.x) < kMaxScreenCoordinate && std::fabs(c.y) < kMaxScreenCoordinate &&
                std::isfinite(c.z) && std::isfinite(rhw) && rhw != 0.0f;
            out.outcode = usable ? 0u : uint32_t(kInvalid);
            if (usable) {
                s.fx = static_cast<int32_t>(std::lrint(c.x * kSubpixel));
                s.fy = static_cast<int32_t>(std::lrint(c.y * kSubpixel));
                s.z = c.z;
                s.invw = rhw;
                s.uw = c.u * rhw;
                s.vw = c.v * rhw;
                s.r = c.r;
                s.g = c.g;
                s.b = c.b;
                s.a = c.a;
            }
            continue;
        }
        out.outcode = outcode_of(c, gx, gy);
        if (out.outcode == 0 && !viewport.map(c, &out.screen)) {
            out.outcode = kInvalid;
        }
    }
}

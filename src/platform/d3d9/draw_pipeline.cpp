// Vertex processing and primitive assembly. Vertices are transformed once
// per call; a primitive whose vertices all lie inside the view volume (and
// inside a guard band around the viewport) goes straight to the rasterizer,
// one that crosses a plane of the volume is clipped against it in clip
// space, so that nothing crossing the near plane is dropped or smeared.
#include "platform/d3d9/draw_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#include <emmintrin.h>
#endif

namespace {

// Rows are dealt to the drawing threads in bands cut where the work of
// the call (guessed from where its primitives reach) reaches given shares:
// four rounds of one band per thread, each round's bands half as large as
// the round's before, so that the threads, taking bands in turn, end close
// together even where the guess is off, as it is where the depth tiles drop
// the hidden triangles. A triangle reaching into two bands is set up in
// each, and tall slivers, as on the steep side of a hill, reach into many;
// yet on two threads the hill's frame (1024x768, every 15 degrees of
// azimuth) took 8% less time with four rounds than with two.
constexpr uint32_t kBandRounds = 4;
constexpr int kLeastBandRows = 8;

// The primitives are measured and dealt to the bands in a few parts per
// thread rather than one, so that a thread that wakes late for the pass
// leaves its share to the others: on the hill's frame, two threads stood
// idle in those passes a quarter of their time with one part each, and
// half as long with four.
constexpr uint32_t kPartsPerThread = 4;

// The work of a mesh's triangles is guessed from one in this many, the
// others only placed in their rows: the guess cuts the bands, and a few
// thousand triangles in a band make it as good as all of them.
constexpr UINT kWorkSample = 4;

// Vertices are transformed in runs of a multiple of four (the width of
// transform_four), a few runs per thread, none too short to be worth a
// thread's while.
constexpr UINT kLeastVertexRun = 512;
constexpr UINT kVertexRunsPerThread = 4;

// How far beyond the viewport primitives may reach before they are clipped
// against the sides too; the rasterizer's bounding box handles the rest.
constexpr float kGuardBandPixels = 2048.0f;
// Pre-transformed positions beyond this are refused rather than drawn.
constexpr float kMaxScreenCoordinate = 16384.0f;

enum Outcode : uint32_t {
    kNear = 1,
    kFar = 2,
    kLeft = 4,
    kRight = 8,
    kBottom = 16,
    kTop = 32,
    kInvalid = 64, // not drawable at all (pre-transformed and out of range)
};

struct ClipVertex {
    float x, y, z, w;
    float u, v;
    float r, g, b, a;
};

float load_float(const uint8_t* p)
{
    float value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

float distance_to(uint32_t plane, const ClipVertex& v, float gx, float gy)
{
    switch (plane) {
    case kNear:
        return v.z;
    case kFar:
        return v.w - v.z;
    case kLeft:
        return v.x + gx * v.w;
    case kRight:
        return gx * v.w - v.x;
    case kBottom:
        return v.y + gy * v.w;
    default:
        return gy * v.w - v.y;
    }
}

uint32_t outcode_of(const ClipVertex& v, float gx, float gy)
{
    // Written so that a NaN anywhere counts as outside every plane.
    uint32_t code = 0;
    code |= !(v.z >= 0.0f) ? kNear : 0u;
    code |= !(v.w - v.z >= 0.0f) ? kFar : 0u;
    code |= !(v.x + gx * v.w >= 0.0f) ? kLeft : 0u;
    code |= !(gx * v.w - v.x >= 0.0f) ? kRight : 0u;
    code |= !(v.y + gy * v.w >= 0.0f) ? kBottom : 0u;
    code |= !(gy * v.w - v.y >= 0.0f) ? kTop : 0u;
    return code;
}

// The point on edge (inside, outside) where it meets the plane, always
// computed from the inside end so that neighbours sharing the edge get
// exactly the same point.
ClipVertex intersect(const ClipVertex& inside, const ClipVertex& outside, float d_in, float d_out)
{
    const float t = d_in / (d_in - d_out);
    auto mix = [t](float a, float b) { return a + (b - a) * t; };
    return ClipVertex{mix(inside.x, outside.x), mix(inside.y, outside.y), mix(inside.z, outside.z),
                      mix(inside.w, outside.w), mix(inside.u, outside.u), mix(inside.v, outside.v),
                      mix(inside.r, outside.r), mix(inside.g, outside.g), mix(inside.b, outside.b),
                      mix(inside.a, outside.a)};
}

struct ViewportMap {
    float x, y, half_width, half_height, min_z, depth_range;

    explicit ViewportMap(const D3DVIEWPORT9& vp)
        : x(static_cast<float>(vp.X)),
          y(static_cast<float>(vp.Y)),
          half_width(static_cast<float>(vp.Width) * 0.5f),
          half_height(static_cast<float>(vp.Height) * 0.5f),
          min_z(vp.MinZ),
          depth_range(vp.MaxZ - vp.MinZ)
    {
    }

    // False when the vertex cannot be placed (w not positive, not finite).
    bool map(const ClipVertex& c, RasterVertex* out) const
    {
        if (!(c.w > 0.0f)) {
            return false;
        }
        const float invw = 1.0f / c.w;
        const float sx = x + (1.0f + c.x * invw) * half_width;
        const float sy = y + (1.0f - c.y * invw) * half_height;
        if (!(std::fabs(sx) < kMaxScreenCoordinate && std::fabs(sy) < kMaxScreenCoordinate) || !std::isfinite(invw)) {
            return false;
        }
        out->fx = static_cast<int32_t>(std::lrint(sx * kSubpixel));
        out->fy = static_cast<int32_t>(std::lrint(sy * kSubpixel));
        out->z = min_z + c.z * invw * depth_range;
        out->invw = invw;
        out->uw = c.u * invw;
        out->vw = c.v * invw;
        out->r = c.r;
        out->g = c.g;
        out->b = c.b;
        out->a = c.a;
        return true;
    }
};

// Sutherland-Hodgman against the planes in `planes`; returns the count.
int clip_polygon(ClipVertex* poly, int count, uint32_t planes, float gx, float gy)
{
    ClipVertex buffer[16];
    ClipVertex* in = poly;
    ClipVertex* out = buffer;
    for (uint32_t plane = kNear; plane <= kTop && count >= 3; plane <<= 1) {
        if (!(planes & plane)) {
            continue;
        }
        int written = 0;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& a = in[i];
            const ClipVertex& b = in[(i + 1) % count];
            const float da = distance_to(plane, a, gx, gy), db = distance_to(plane, b, gx, gy);
            const bool a_in = da >= 0.0f, b_in = db >= 0.0f;
            if (a_in) {
                out[written++] = a;
            }
            if (a_in != b_in) {
                out[written++] = a_in ? intersect(a, b, da, db) : intersect(b, a, db, da);
            }
        }
        std::swap(in, out);
        count = written;
    }
    if (in != poly) {
        std::copy(in, in + count, poly);
    }
    return count;
}

// Clip-space extent of the guard band: |x| <= gx w and |y| <= gy w.
void guard_band(const D3DVIEWPORT9& vp, float* gx, float* gy)
{
    const float half_w = std::max(1.0f, static_cast<float>(vp.Width) * 0.5f);
    const float half_h = std::max(1.0f, static_cast<float>(vp.Height) * 0.5f);
    *gx = (half_w + kGuardBandPixels) / half_w;
    *gy = (half_h + kGuardBandPixels) / half_h;
}

uint32_t load_index16(const uint8_t* p)
{
    uint16_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

uint32_t load_index32(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

} // namespace

// The outcode beside the screen position; the clip-space position is not
// kept but worked out again for the few primitives that must be clipped
// (clip_vertex), so that the passes gathering vertices by index read half
// the memory.
struct DrawPipeline::Vertex {
    RasterVertex screen;
    uint32_t outcode;
};

namespace {

// Vertex i of the call in clip space (as given, when pre-transformed),
// with its texture coordinates and colour; transform_range and
// transform_four work out the same bits.
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

} // namespace

// transform_four stores four fields at a time by offset: screen fx, fy, z,
// invw then uw, vw, r, g.
static_assert(offsetof(RasterVertex, fx) == 0 && offsetof(RasterVertex, fy) == 4 && offsetof(RasterVertex, z) == 8 &&
              offsetof(RasterVertex, invw) == 12 && offsetof(RasterVertex, uw) == 16 &&
              offsetof(RasterVertex, vw) == 20 && offsetof(RasterVertex, r) == 24 && offsetof(RasterVertex, g) == 28);
static_assert(offsetof(ClipVertex, x) == 0 && offsetof(ClipVertex, y) == 4 && offsetof(ClipVertex, z) == 8 &&
              offsetof(ClipVertex, w) == 12 && offsetof(ClipVertex, u) == 16 && offsetof(ClipVertex, v) == 20 &&
              offsetof(ClipVertex, r) == 24 && offsetof(ClipVertex, g) == 28);
static_assert(sizeof(int32_t) == sizeof(float), "fx and fy travel in float lanes");

bool decode_fvf(DWORD fvf, UINT texcoord_set, VertexLayout* layout)
{
    if (fvf & (D3DFVF_RESERVED0 | 0x2000)) {
        return false;
    }
    UINT offset = 0;
    VertexLayout result;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZW) {
        result.position_w = true;
        offset = 16;
    } else if (fvf & 0x4000) {
        return false;
    } else if (position == D3DFVF_XYZRHW) {
        result.pretransformed = true;
        offset = 16;
    } else if (position == D3DFVF_XYZ || (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5)) {
        // Blend weights follow the position; without vertex blending they are skipped.
        offset = 12 + (position == D3DFVF_XYZ ? 0 : (position - D3DFVF_XYZRHW) / 2 * 4);
    } else {
        return false;
    }
    UINT read_end = position == D3DFVF_XYZW || result.pretransformed ? 16 : 12;
    if (fvf & D3DFVF_NORMAL) {
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        result.diffuse_offset = static_cast<int>(offset);
        offset += 4;
        read_end = offset;
    }
    if (fvf & D3DFVF_SPECULAR) {
        offset += 4;
    }
    const UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets > 8) {
        return false;
    }
    for (UINT set = 0; set < sets; ++set) {
        static constexpr int kFloats[4] = {2, 3, 4, 1};
        const int floats = kFloats[(fvf >> (16 + 2 * set)) & 3];
        if (set == texcoord_set) {
            result.texcoord_offset = static_cast<int>(offset);
            result.texcoord_floats = floats;
            read_end = offset + 4 * static_cast<UINT>(std::min(floats, 2));
        }
        offset += 4 * static_cast<UINT>(floats);
    }
    result.bytes_read = read_end;
    *layout = result;
    return true;
}

UINT fvf_vertex_size(DWORD fvf)
{
    if (fvf & (D3DFVF_RESERVED0 | 0x2000)) {
        return 0;
    }
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    UINT size;
    if (position == D3DFVF_XYZW || position == D3DFVF_XYZRHW) {
        size = 16;
    } else if (fvf & 0x4000) {
        return 0;
    } else if (position == D3DFVF_XYZ || (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5)) {
        size = 12 + (position == D3DFVF_XYZ ? 0 : (position - D3DFVF_XYZRHW) / 2 * 4);
    } else {
        return 0;
    }
    size += (fvf & D3DFVF_NORMAL) ? 12 : 0;
    size += (fvf & D3DFVF_PSIZE) ? 4 : 0;
    size += (fvf & D3DFVF_DIFFUSE) ? 4 : 0;
    size += (fvf & D3DFVF_SPECULAR) ? 4 : 0;
    const UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets > 8) {
        return 0;
    }
    for (UINT set = 0; set < sets; ++set) {
        static constexpr UINT kBytes[4] = {8, 12, 16, 4};
        size += kBytes[(fvf >> (16 + 2 * set)) & 3];
    }
    return size;
}

UINT indices_for(D3DPRIMITIVETYPE type, UINT count)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return count * 2;
    case D3DPT_LINESTRIP:
        return count + 1;
    case D3DPT_TRIANGLELIST:
        return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count + 2;
    default:
        return 0;
    }
}

DrawPipeline::DrawPipeline() = default;
DrawPipeline::~DrawPipeline() = default;

void DrawPipeline::draw(const DrawCall& call, uint32_t threads, bool adaptive,
                        const std::function<void(int, int)>* rows_first)
{
    if (vertices_.size() < call.vertex_count) {
        vertices_.resize(call.vertex_count);
    }
    threads = std::min(threads, threads_);
    if (adaptive && threads >= 2) {
        threads = judge_.threads(threads);
    }
    tiles_in_call_ = depth_tiles_on_ && call.type != D3DPT_POINTLIST && depth_tiles_.begin(call.target, call.shading)
        ? &depth_tiles_
        : nullptr;
    if (threads < 2) {
        if (rows_first) {
            share_rows(call.target.y0, call.target.y1, threads_, *rows_first);
        }
        transform_range(call, 0, call.vertex_count);
        raster_all(call);
        return;
    }
    RasterWorkers& workers = this->workers();
    const UINT wanted_run = (call.vertex_count + threads * kVertexRunsPerThread - 1) / (threads * kVertexRunsPerThread);
    const UINT run = (std::max(wanted_run, kLeastVertexRun) + 3) / 4 * 4;
    const RasterWorkers::Report transformed =
        workers.run((call.vertex_count + run - 1) / run, threads, [&](uint32_t chunk) {
            const UINT first = chunk * run;
            transform_range(call, first, std::min(call.vertex_count, first + run));
        });
    // Each part of the primitives, in the order of the call, is measured,
    // then dealt to the bands by one thread; a band then draws the parts in
    // turn, so in the order of the call too.
    const uint32_t parts = std::min<uint32_t>(threads * kPartsPerThread, call.primitive_count);
    const int rows = std::max(0, call.target.y1 - call.target.y0);
    if (reaches_.size() < call.primitive_count) {
        reaches_.resize(call.primitive_count);
    }
    if (bins_.size() < parts) {
        bins_.resize(parts);
        work_steps_.resize(parts);
    }
    auto part_range = [&](uint32_t part, auto&& body) {
        body(static_cast<UINT>(uint64_t(call.primitive_count) * part / parts),
             static_cast<UINT>(uint64_t(call.primitive_count) * (part + 1) / parts));
    };
    const RasterWorkers::Report measured = workers.run(parts, threads, [&](uint32_t part) {
        work_steps_[part].assign(static_cast<size_t>(rows) + 1, 0);
        part_range(part, [&](UINT first, UINT end) { measure_range(call, part, first, end); });
    });
    cut_bands(call, parts, threads);
    const RasterWorkers::Report binned = workers.run(parts, threads, [&](uint32_t part) {
        bins_[part].resize(bands_.size());
        part_range(part, [&](UINT first, UINT end) { bin_range(call, part, first, end); });
    });
    // Work before the drawing is done in every band, drawn into or not.
    busy_bands_.clear();
    for (size_t band = 0; band < bands_.size(); ++band) {
        for (uint32_t part = 0; part < parts; ++part) {
            if (rows_first || !bins_[part][band].empty()) {
                busy_bands_.push_back(static_cast<int>(band));
                break;
            }
        }
    }
    parts_ = parts;
    const RasterWorkers::Report report =
        workers.run(static_cast<uint32_t>(busy_bands_.size()), threads,
                    [&](uint32_t chunk) { raster_band(call, busy_bands_[chunk], rows_first); });
    if (adaptive) {
        judge_.record(report,
                      SplitJudge::stalled(transformed) || SplitJudge::stalled(measured) || SplitJudge::stalled(binned));
    }
}

RasterWorkers& DrawPipeline::workers()
{
    if (!workers_) {
        workers_ = std::make_unique<RasterWorkers>(threads_ - 1);
        workers_->set_worker_delay(worker_delay_us_);
    }
    return *workers_;
}

void DrawPipeline::share_rows(int first, int end, uint32_t threads, const std::function<void(int, int)>& job)
{
    threads = std::min(threads, threads_);
    if (threads < 2 || end - first < 2 * kLeastBandRows) {
        job(first, end);
        return;
    }
    // A few pieces per thread, so that a thread held up elsewhere leaves
    // its share to the others.
    const int piece = std::max(kLeastBandRows, (end - first + int(threads) * 4 - 1) / (int(threads) * 4));
    const auto pieces = static_cast<uint32_t>((end - first + piece - 1) / piece);
    workers().run(pieces, threads, [&](uint32_t k) {
        const int from = first + int(k) * piece;
        job(from, std::min(end, from + piece));
    });
}

#if defined(__SSE2__)
// Four vertices at a time, one per lane, with the arithmetic of the loop
// below in the same order, so the same bits. A vertex outside the volume
// gets screen fields too, which nothing reads.
void DrawPipeline::transform_four(const DrawCall& call, UINT i)
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
    float gx, gy;
    guard_band(call.viewport, &gx, &gy);
    const __m128 zero = _mm_setzero_ps(), gxw = _mm_mul_ps(_mm_set1_ps(gx), cw), gyw = _mm_mul_ps(_mm_set1_ps(gy), cw);
    auto outside = [&](__m128 distance, uint32_t plane) {
        return _mm_andnot_si128(_mm_castps_si128(_mm_cmpge_ps(distance, zero)),
                                _mm_set1_epi32(static_cast<int>(plane)));
    };
    __m128i code = _mm_or_si128(outside(cz, kNear), outside(_mm_sub_ps(cw, cz), kFar));
    code = _mm_or_si128(code, _mm_or_si128(outside(_mm_add_ps(cx, gxw), kLeft), outside(_mm_sub_ps(gxw, cx), kRight)));
    code = _mm_or_si128(code, _mm_or_si128(outside(_mm_add_ps(cy, gyw), kBottom), outside(_mm_sub_ps(gyw, cy), kTop)));
    // ViewportMap::map
    const ViewportMap map(call.viewport);
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
            transform_four(call, first);
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

namespace {

// The pixels a primitive may reach: rows `first` to `last` (empty when
// first > last) and columns `left` to `right`; for a triangle not cut by
// the view volume, exactly the rows and columns it draws in, and its area.
struct Reach {
    int first = 1, last = 0;
    int left = 0, right = 0;
    int64_t area = -1; // as TriangleBox::area has it, -1 where not known

    void add(int32_t fx_low, int32_t fx_high, int32_t fy_low, int32_t fy_high)
    {
        const int low = fy_low >> kSubpixelBits, high = (fy_high + kSubpixel - 1) >> kSubpixelBits;
        const int lowest = fx_low >> kSubpixelBits, highest = (fx_high + kSubpixel - 1) >> kSubpixelBits;
        const bool empty = first > last;
        first = empty ? low : std::min(first, low);
        last = empty ? high : std::max(last, high);
        left = empty ? lowest : std::min(left, lowest);
        right = empty ? highest : std::max(right, highest);
    }
};

// A guess at the cost of drawing a primitive, in pixels shaded in lanes:
// `per_row` in each row it reaches, and `at_ends` in its first row and
// again in its last, for its setup and its pixels (half its area in each,
// which spares a division for each triangle). A line goes one pixel at a
// time, along its longer side.
struct Work {
    int64_t per_row, at_ends;
};

// A triangle whose box has `area` (twice its area in square subpixels).
Work triangle_work(int64_t area)
{
    const int64_t pixels = area >> (2 * kSubpixelBits + 1);
    return {16, 100 + pixels / 2};
}

Work work_of(D3DPRIMITIVETYPE type, const Reach& reach)
{
    switch (type) {
    case D3DPT_TRIANGLELIST:
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        if (reach.area >= 0) {
            return triangle_work(reach.area);
        }
        return {16 + int64_t(reach.right) - reach.left + 1, 100};
    case D3DPT_LINELIST:
    case D3DPT_LINESTRIP:
        return {
            4 * std::max<int64_t>(1, (int64_t(reach.right) - reach.left + 1) / (int64_t(reach.last) - reach.first + 1)),
            8};
    default:
        return {4, 4};
    }
}

// Assembles the primitives of one call and draws them into the rows of
// `rows`; also tells which rows a primitive may reach, for dealing the
// primitives out to bands of rows.
template <class Transformed, class VertexAt>
class Assembler {
public:
    // vertex_at gives references into `vertices`, the call's transformed
    // vertices.
    Assembler(const DrawCall& call, RowRange rows, const Transformed* vertices, VertexAt vertex_at)
        : call_(call),
          rows_(rows),
          vertices_(vertices),
          vertex_at_(vertex_at),
          viewport_(call.viewport),
          triangles_(call.target, call.shading, rows, call.cull)
    {
        guard_band(call.viewport, &gx_, &gy_);
    }

    void draw(UINT k)
    {
        with_primitive(
            k, [this](const auto& a, const auto& b, const auto& c) { triangle(a, b, c); },
            [this](const auto& a, const auto& b) { line(a, b); },
            [this](const auto& v) {
                if (v.outcode == 0) {
                    raster_point(call_.target, call_.shading, rows_, v.screen);
                }
            });
    }

    // For triangle k of a list: 1 with the rows it may draw in when it
    // lies inside the view volume, 0 when it lies inside and reaches no
    // row, -1 when it must be clipped (reach_of then tells).
    int list_triangle_rows(UINT k, int* first, int* last) const
    {
        const auto& a = vertex_at_(3 * k);
        const auto& b = vertex_at_(3 * k + 1);
        const auto& c = vertex_at_(3 * k + 2);
        if ((a.outcode | b.outcode | c.outcode) != 0) {
            return -1;
        }
        return triangles_.rows(a.screen, b.screen, c.screen, first, last) ? 1 : 0;
    }

    // For triangle k of a list: 1 with its box when it lies inside the
    // view volume and draws, 0 when it lies inside and draws nothing, -1
    // when it must be clipped (reach_of then tells).
    int list_triangle_box(UINT k, TriangleRaster::TriangleBox* box) const
    {
        const auto& a = vertex_at_(3 * k);
        const auto& b = vertex_at_(3 * k + 1);
        const auto& c = vertex_at_(3 * k + 2);
        if ((a.outcode | b.outcode | c.outcode) != 0) {
            return -1;
        }
        return triangles_.box(a.screen, b.screen, c.screen, box) ? 1 : 0;
    }

    // Triangles and lines behind these tiles' depths are dropped; null for
    // none.
    void set_depth_tiles(DepthTiles* tiles)
    {
        tiles_ = tiles;
        triangles_.set_depth_tiles(tiles);
    }

    // The pixels primitive k may draw into, a few more at most; no rows
    // when it draws nothing.
    Reach reach_of(UINT k)
    {
        Reach reach;
        bool exact = false;
        with_primitive(
            k,
            [&](const auto& a, const auto& b, const auto& c) {
                if ((a.outcode | b.outcode | c.outcode) == 0) {
                    TriangleRaster::TriangleBox box;
                    if (triangles_.box(a.screen, b.screen, c.screen, &box)) {
                        reach.first = box.min_y;
                        reach.last = box.max_y;
                        reach.left = box.min_x;
                        reach.right = box.max_x;
                        reach.area = box.area;
                    }
                    exact = true;
                    return;
                }
                RasterVertex mapped[16];
                const int count = clipped_triangle(a, b, c, mapped);
                for (int i = 0; i < count; ++i) {
                    reach.add(mapped[i].fx, mapped[i].fx, mapped[i].fy, mapped[i].fy);
                }
            },
            [&](const auto& a, const auto& b) {
                RasterVertex from, to;
                bool last_pixel;
                if (clipped_line(a, b, &from, &to, &last_pixel)) {
                    reach.add(std::min(from.fx, to.fx), std::max(from.fx, to.fx), std::min(from.fy, to.fy),
                              std::max(from.fy, to.fy));
                }
            },
            [&](const auto& v) {
                if (v.outcode == 0) {
                    reach.add(v.screen.fx, v.screen.fx, v.screen.fy, v.screen.fy);
                }
            });
        if (exact) {
            return reach;
        }
        reach.first = std::max(reach.first, call_.target.y0);
        reach.last = std::min(reach.last, call_.target.y1 - 1);
        reach.left = std::max(reach.left, call_.target.x0);
        reach.right = std::min(reach.right, call_.target.x1 - 1);
        return reach;
    }

private:
    ClipVertex clip(const Transformed& v) const { return clip_vertex(call_, static_cast<UINT>(&v - vertices_)); }

    // Calls triangle(a, b, c), line(a, b) or point(v) with the vertices of
    // primitive k.
    template <class Triangle, class Line, class Point>
    void with_primitive(UINT k, Triangle&& triangle, Line&& line, Point&& point)
    {
        switch (call_.type) {
        case D3DPT_TRIANGLELIST:
            triangle(vertex_at_(3 * k), vertex_at_(3 * k + 1), vertex_at_(3 * k + 2));
            break;
        case D3DPT_TRIANGLESTRIP:
            // Every second triangle is taken in swapped order to keep the winding.
            if (k % 2 == 0) {
                triangle(vertex_at_(k), vertex_at_(k + 1), vertex_at_(k + 2));
            } else {
                triangle(vertex_at_(k + 1), vertex_at_(k), vertex_at_(k + 2));
            }
            break;
        case D3DPT_TRIANGLEFAN:
            triangle(vertex_at_(0), vertex_at_(k + 1), vertex_at_(k + 2));
            break;
        case D3DPT_LINELIST:
            line(vertex_at_(2 * k), vertex_at_(2 * k + 1));
            break;
        case D3DPT_LINESTRIP:
            line(vertex_at_(k), vertex_at_(k + 1));
            break;
        case D3DPT_POINTLIST:
            point(vertex_at_(k));
            break;
        default:
            break;
        }
    }

    // The triangle cut by the planes it crosses, as a fan of `count`
    // screen vertices (0 when nothing of it is left).
    template <class V>
    int clipped_triangle(const V& a, const V& b, const V& c, RasterVertex mapped[16]) const
    {
        const uint32_t any = a.outcode | b.outcode | c.outcode;
        if ((any & kInvalid) || (a.outcode & b.outcode & c.outcode)) {
            return 0;
        }
        ClipVertex poly[16] = {clip(a), clip(b), clip(c)};
        if (call_.shading.flat) {
            for (int i = 1; i < 3; ++i) {
                poly[i].r = poly[0].r;
                poly[i].g = poly[0].g;
                poly[i].b = poly[0].b;
                poly[i].a = poly[0].a;
            }
        }
        const int count = clip_polygon(poly, 3, any, gx_, gy_);
        if (count < 3) {
            return 0;
        }
        for (int i = 0; i < count; ++i) {
            if (!viewport_.map(poly[i], &mapped[i])) {
                return 0;
            }
        }
        return count;
    }

    template <class V>
    void triangle(const V& a, const V& b, const V& c)
    {
        if ((a.outcode | b.outcode | c.outcode) == 0) {
            triangles_.draw(a.screen, b.screen, c.screen);
            return;
        }
        RasterVertex mapped[16];
        const int count = clipped_triangle(a, b, c, mapped);
        for (int i = 1; i + 1 < count; ++i) {
            triangles_.draw(mapped[0], mapped[i], mapped[i + 1]);
        }
    }

    // The line cut by the planes it crosses; false when nothing is left.
    template <class V>
    bool clipped_line(const V& a, const V& b, RasterVertex* from, RasterVertex* to, bool* last_pixel) const
    {
        const uint32_t any = a.outcode | b.outcode;
        if (any == 0) {
            *from = a.screen;
            *to = b.screen;
            *last_pixel = call_.last_pixel;
            return true;
        }
        if ((any & kInvalid) || (a.outcode & b.outcode)) {
            return false;
        }
        const ClipVertex p = clip(a), q = clip(b);
        float t0 = 0.0f, t1 = 1.0f;
        for (uint32_t plane = kNear; plane <= kTop; plane <<= 1) {
            if (!(any & plane)) {
                continue;
            }
            const float da = distance_to(plane, p, gx_, gy_), db = distance_to(plane, q, gx_, gy_);
            if (da < 0.0f && db < 0.0f) {
                return false;
            }
            if (da < 0.0f) {
                t0 = std::max(t0, da / (da - db));
            } else if (db < 0.0f) {
                t1 = std::min(t1, da / (da - db));
            }
        }
        if (!(t0 <= t1)) {
            return false;
        }
        auto point_at = [&](float t) {
            auto mix = [t](float x, float y) { return x + (y - x) * t; };
            return ClipVertex{mix(p.x, q.x), mix(p.y, q.y), mix(p.z, q.z), mix(p.w, q.w), mix(p.u, q.u),
                              mix(p.v, q.v), mix(p.r, q.r), mix(p.g, q.g), mix(p.b, q.b), mix(p.a, q.a)};
        };
        if (!viewport_.map(t0 > 0.0f ? point_at(t0) : p, from) || !viewport_.map(t1 < 1.0f ? point_at(t1) : q, to)) {
            return false;
        }
        if (call_.shading.flat) {
            to->r = from->r = p.r;
            to->g = from->g = p.g;
            to->b = from->b = p.b;
            to->a = from->a = p.a;
        }
        *last_pixel = call_.last_pixel && t1 >= 1.0f;
        return true;
    }

    template <class V>
    void line(const V& a, const V& b)
    {
        RasterVertex from, to;
        bool last_pixel;
        if (clipped_line(a, b, &from, &to, &last_pixel)) {
            raster_line(call_.target, call_.shading, rows_, last_pixel, from, to, tiles_);
        }
    }

    const DrawCall& call_;
    RowRange rows_;
    const Transformed* vertices_;
    VertexAt vertex_at_;
    ViewportMap viewport_;
    TriangleRaster triangles_;
    DepthTiles* tiles_ = nullptr;
    float gx_ = 1.0f, gy_ = 1.0f;
};

} // namespace

// Calls body(assembler) with an assembler for the call's kind of indices.
template <class Body>
void DrawPipeline::with_assembler(const DrawCall& call, RowRange rows, Body&& body) const
{
    const Vertex* vertices = vertices_.data();
    const uint8_t* indices = call.indices;
    const INT bias = call.index_bias;
    if (!indices) {
        Assembler assembler(call, rows, vertices, [vertices](UINT k) -> const Vertex& { return vertices[k]; });
        body(assembler);
    } else if (call.index32) {
        Assembler assembler(call, rows, vertices, [vertices, indices, bias](UINT k) -> const Vertex& {
            return vertices[static_cast<UINT>(static_cast<INT>(load_index32(indices + 4 * size_t(k))) + bias)];
        });
        body(assembler);
    } else {
        Assembler assembler(call, rows, vertices, [vertices, indices, bias](UINT k) -> const Vertex& {
            return vertices[static_cast<UINT>(static_cast<INT>(load_index16(indices + 2 * size_t(k))) + bias)];
        });
        body(assembler);
    }
}

void DrawPipeline::raster_all(const DrawCall& call)
{
    with_assembler(call, RowRange{}, [&](auto& assembler) {
        assembler.set_depth_tiles(tiles_in_call_);
        for (UINT k = 0; k < call.primitive_count; ++k) {
            assembler.draw(k);
        }
    });
}

void DrawPipeline::measure_range(const DrawCall& call, uint32_t part, UINT first, UINT end)
{
    std::vector<int64_t>& steps = work_steps_[part];
    const int top = call.target.y0;
    auto note = [&](UINT k, int first_row, int last_row, const Work& work) {
        reaches_[k] = Rows{first_row, last_row};
        const size_t from = static_cast<size_t>(first_row - top), to = static_cast<size_t>(last_row - top);
        steps[from] += work.per_row + work.at_ends;
        steps[from + 1] -= work.at_ends;
        steps[to] += work.at_ends;
        steps[to + 1] -= work.per_row + work.at_ends;
    };
    with_assembler(call, RowRange{}, [&](auto& assembler) {
        for (UINT k = first; k < end; ++k) {
            // The mesh's own case first, without the general one's detours:
            // one triangle in kWorkSample is measured whole, its work counted
            // that many times; the others are only placed in their rows (one
            // that proves to draw nothing is dropped in its band).
            if (call.type == D3DPT_TRIANGLELIST) {
                int inside;
                if (k % kWorkSample == 0) {
                    TriangleRaster::TriangleBox box;
                    inside = assembler.list_triangle_box(k, &box);
                    if (inside > 0) {
                        const Work work = triangle_work(box.area);
                        note(k, box.min_y, box.max_y, Work{work.per_row * kWorkSample, work.at_ends * kWorkSample});
                    }
                } else {
                    int first_row, last_row;
                    inside = assembler.list_triangle_rows(k, &first_row, &last_row);
                    if (inside > 0) {
                        reaches_[k] = Rows{first_row, last_row};
                    }
                }
                if (inside == 0) {
                    reaches_[k] = Rows{1, 0};
                }
                if (inside >= 0) {
                    continue;
                }
            }
            const Reach reach = assembler.reach_of(k);
            if (reach.first > reach.last || reach.left > reach.right) {
                reaches_[k] = Rows{1, 0};
                continue;
            }
            note(k, reach.first, reach.last, work_of(call.type, reach));
        }
    });
}

void DrawPipeline::cut_bands(const DrawCall& call, uint32_t parts, uint32_t threads)
{
    const int top = call.target.y0, rows = std::max(0, call.target.y1 - top);
    row_work_.assign(static_cast<size_t>(rows), 0);
    for (uint32_t part = 0; part < parts; ++part) {
        int64_t work = 0;
        for (int row = 0; row < rows; ++row) {
            work += work_steps_[part][static_cast<size_t>(row)];
            row_work_[static_cast<size_t>(row)] += work;
        }
    }
    int64_t total = 0;
    for (int64_t& work : row_work_) {
        ++work; // so that a call reaching no row still cuts its rows evenly
        total += work;
    }
    // The share of the work done by the end of each band.
    band_ends_.clear();
    const uint32_t bands = kBandRounds * threads;
    double share = 0.0;
    const double whole = double(threads) * double((1u << kBandRounds) - 1);
    for (uint32_t band = 0; band + 1 < bands; ++band) {
        share += double(1u << (kBandRounds - 1 - band / threads)) / whole;
        band_ends_.push_back(share * double(total));
    }
    // A band ends at the first row where the work so far reaches its end,
    // once it is tall enough, with a row of depth tiles (which then belong
    // to one band each).
    bands_.clear();
    band_of_row_.resize(static_cast<size_t>(rows));
    int start = 0;
    double done = 0.0;
    size_t next = 0;
    for (int row = 0; row < rows; ++row) {
        done += double(row_work_[static_cast<size_t>(row)]);
        band_of_row_[static_cast<size_t>(row)] = static_cast<uint32_t>(bands_.size());
        if (row + 1 < rows && row + 1 - start >= kLeastBandRows && (row + 1) % DepthTiles::kTileHeight == 0 &&
            next < band_ends_.size() && done >= band_ends_[next]) {
            bands_.push_back(RowRange{top + start, top + row});
            start = row + 1;
            while (next < band_ends_.size() && done >= band_ends_[next]) {
                ++next;
            }
        }
    }
    if (start < rows) {
        bands_.push_back(RowRange{top + start, top + rows - 1});
    }
}

void DrawPipeline::bin_range(const DrawCall& call, uint32_t part, UINT first, UINT end)
{
    std::vector<std::vector<uint32_t>>& bins = bins_[part];
    for (std::vector<uint32_t>& bin : bins) {
        bin.clear();
    }
    const int top = call.target.y0;
    const uint32_t* band_of_row = band_of_row_.data();
    for (UINT k = first; k < end; ++k) {
        const Rows rows = reaches_[k];
        if (rows.first > rows.last) {
            continue;
        }
        const uint32_t last = band_of_row[rows.last - top];
        for (uint32_t band = band_of_row[rows.first - top]; band <= last; ++band) {
            bins[band].push_back(k);
        }
    }
}

void DrawPipeline::raster_band(const DrawCall& call, int band, const std::function<void(int, int)>* rows_first)
{
    const RowRange rows = bands_[static_cast<size_t>(band)];
    if (rows_first) {
        (*rows_first)(rows.first, rows.last + 1);
    }
    with_assembler(call, rows, [&](auto& assembler) {
        assembler.set_depth_tiles(tiles_in_call_);
        for (uint32_t part = 0; part < parts_; ++part) {
            for (uint32_t k : bins_[part][static_cast<size_t>(band)]) {
                assembler.draw(k);
            }
        }
    });
}

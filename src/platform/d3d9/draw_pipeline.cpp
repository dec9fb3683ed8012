// A draw call on the drawing threads, and primitive assembly. Vertices are
// transformed once per call (vertex_transform.cpp); a primitive whose
// vertices all lie inside the view volume (and inside a guard band around
// the viewport) goes straight to the rasterizer, one that crosses a plane
// of the volume is clipped against it in clip space (clip_space.h), so
// that nothing crossing the near plane is dropped or smeared.
#include "platform/d3d9/draw_pipeline.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/clip_space.h"

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

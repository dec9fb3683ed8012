// From vertex bytes to pixels: vertex fetch by the FVF layout, the world ·
// view · projection transform, primitive assembly, clipping against the
// view volume and viewport mapping, then the rasterizer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/d3d9/depth_tiles.h"
#include "platform/d3d9/rasterizer.h"
#include "platform/d3d9/raster_workers.h"
#include "platform/d3d9/vertex_formats.h"

struct DrawCall {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitive_count = 0;
    const uint8_t* indices = nullptr; // first index of the call; null for DrawPrimitive
    bool index32 = false;
    INT index_bias = 0;                // added to an index value to give its vertex slot
    const uint8_t* vertices = nullptr; // vertex slot 0
    UINT vertex_count = 0;             // slots transformed
    UINT stride = 0;
    VertexLayout layout;
    D3DMATRIX transform{}; // world · view · projection
    D3DVIEWPORT9 viewport{};
    RasterTarget target{};
    PixelShading shading;
    int cull = 0;
    bool last_pixel = true;
};

struct ClipVertex;
struct ViewportMap;

// Vertex i of the call in clip space (as given, when pre-transformed),
// with its texture coordinates and colour.
ClipVertex clip_vertex(const DrawCall& call, UINT i);

class DrawPipeline {
public:
    DrawPipeline();
    ~DrawPipeline();

    // Draws on `threads` threads, at most as many as set_threads gave;
    // with `adaptive`, on fewer for a while after the workers could not keep
    // up with the caller's thread (their cores busy elsewhere). The picture
    // is the same either way. The caller has checked every index against
    // vertex_count. `rows_first`, where given, is work to do in the rows
    // [first, end) of the target before the call draws there, such as a
    // clear: each band's thread does it for its band just before drawing
    // into it, so that the rows are still in its cache; without bands it
    // is shared out over the rows as share_rows does, before any drawing.
    void draw(const DrawCall& call, uint32_t threads, bool adaptive,
              const std::function<void(int, int)>* rows_first = nullptr);

    // Calls job(first, end) for pieces of the rows [first, end) of a
    // target on up to `threads` threads, the caller's included: work done
    // row by row outside a draw, such as a clear.
    void share_rows(int first, int end, uint32_t threads, const std::function<void(int, int)>& job);

    // The most threads a draw may use, the caller's included; set once,
    // before the first draw. Their workers start with the first draw or
    // clear split across them.
    void set_threads(uint32_t threads) { threads_ = std::max<uint32_t>(1, threads); }
    uint32_t threads() const { return threads_; }

    // Whether triangles and lines hidden behind the depth buffer's tiles
    // are dropped (see DepthTiles); on unless set.
    void set_depth_tiles(bool on) { depth_tiles_on_ = on; }

    // See RasterWorkers::set_worker_delay.
    void set_worker_delay(uint32_t microseconds) { worker_delay_us_ = microseconds; }

private:
    // The outcode beside the screen position; the clip-space position is
    // not kept but worked out again for the few primitives that must be
    // clipped (clip_vertex), so that the passes gathering vertices by index
    // read half the memory.
    struct Vertex {
        RasterVertex screen;
        uint32_t outcode;
    };
    void transform_range(const DrawCall& call, UINT first, UINT end);
    // With the viewport map and guard band transform_range works out once.
    void transform_four(const DrawCall& call, UINT first, const ViewportMap& map, float gx, float gy);
    template <class Body>
    void with_assembler(const DrawCall& call, RowRange rows, Body&& body) const;
    void raster_all(const DrawCall& call);
    void measure_range(const DrawCall& call, uint32_t part, UINT first, UINT end);
    void cut_bands(const DrawCall& call, uint32_t parts, uint32_t threads);
    void bin_range(const DrawCall& call, uint32_t part, UINT first, UINT end);
    void raster_band(const DrawCall& call, int band, const std::function<void(int, int)>* rows_first);
    RasterWorkers& workers();

    std::vector<Vertex> vertices_;
    uint32_t threads_ = 1;
    std::unique_ptr<RasterWorkers> workers_;
    // The rows each primitive may draw into (none when first > last), and
    // for each part of the call the work it adds to each row, as the step
    // from the row above; the work of each row, summed.
    struct Rows {
        int first, last;
    };
    std::vector<Rows> reaches_;
    std::vector<std::vector<int64_t>> work_steps_;
    std::vector<int64_t> row_work_;
    std::vector<double> band_ends_;
    // The bands of rows the drawing threads take in turn, and the band of
    // each row of the target.
    std::vector<RowRange> bands_;
    std::vector<uint32_t> band_of_row_;
    // Primitive numbers by band, from each part of the call.
    std::vector<std::vector<std::vector<uint32_t>>> bins_;
    uint32_t parts_ = 0;
    std::vector<int> busy_bands_;
    SplitJudge judge_;
    // The depth buffer's tiles for the call being drawn, when its depth
    // test lets them drop hidden triangles and lines.
    DepthTiles depth_tiles_;
    DepthTiles* tiles_in_call_ = nullptr;
    bool depth_tiles_on_ = true;
    uint32_t worker_delay_us_ = 0;
};

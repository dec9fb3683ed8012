// The viewer's scene for the frame benchmarks of the software device and
// of the peer renderer: the bench's own 201 x 201 field of two bumps and a
// ridge (or the field of a points file) and a 256 x 256 checker texture,
// drawn with the viewer's geometry, camera and matrices from render/scene
// (surface, 11 + 11 grid lines, the marker cross; row-vector matrices,
// rows first).
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "field/density_field.h"
#include "render/scene/camera.h"
#include "render/scene/mesh.h"
#include "settings/settings.h"

namespace viewer_scene {

constexpr int kNodes = 201;
constexpr int kTextureSize = 256;
// Where the marker cross stands, as fractions of the field.
constexpr MarkerPair kMarker{0.3, 0.6};

template <class Vertex>
struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
};

struct Scene {
    std::vector<double> heights; // node (i, j) at j * kNodes + i, highest 1
    Mesh<SurfaceVertex> surface; // triangle list, 80,000 triangles
    Mesh<LineVertex> grid;       // line list, 4,400 segments
    Mesh<MarkerVertex> marker;   // line list, 400 segments
};

// Two bumps and a ridge, normalised to a highest node of 1, empty nodes at
// two edges (drawn black).
inline std::vector<double> make_heights()
{
    std::vector<double> heights(kNodes * kNodes);
    double highest = 0;
    for (int j = 0; j < kNodes; ++j) {
        for (int i = 0; i < kNodes; ++i) {
            const double x = i / 200.0, y = j / 200.0;
            double h = std::exp(-((x - 0.3) * (x - 0.3) + (y - 0.4) * (y - 0.4)) * 30) +
                0.6 * std::exp(-((x - 0.7) * (x - 0.7) + (y - 0.7) * (y - 0.7)) * 60) +
                0.2 * std::exp(-(x - y) * (x - y) * 200);
            if (x < 0.05 || y > 0.97) {
                h = 0;
            }
            heights[j * kNodes + i] = h;
            highest = std::max(highest, h);
        }
    }
    for (double& h : heights) {
        h /= highest;
    }
    return heights;
}

inline NodeGrid grid_of(const std::vector<double>& heights) { return NodeGrid{kNodes, kNodes, heights.data()}; }

// A piece of the scene written into vectors of the size it asks for.
template <class Vertex, class Write>
Mesh<Vertex> written(MeshSize size, Write write)
{
    Mesh<Vertex> mesh{std::vector<Vertex>(size.vertices), std::vector<uint16_t>(size.indices)};
    write(std::span<Vertex>(mesh.vertices), std::span<uint16_t>(mesh.indices));
    return mesh;
}

// The points file whose field the scene shows instead of its own
// ("--points FILE"); null for the bench's field.
inline const char*& points_path()
{
    static const char* path = nullptr;
    return path;
}

// Takes "--points FILE" at argv[i], i moved past it; false when argv[i] is
// something else.
inline bool take_points_option(int argc, char** argv, int& i)
{
    if (std::strcmp(argv[i], "--points") != 0 || i + 1 >= argc) {
        return false;
    }
    points_path() = argv[++i];
    return true;
}

// The field of the points in `path` over the viewer's first range, as the
// viewer draws it with its first options: the nodes as they are, the
// highest 1. A file that cannot be read ends the program.
inline std::vector<double> load_heights(const char* path)
{
    const Settings defaults = default_settings();
    std::unique_ptr<DensityField, void (*)(DensityField*)> field(
        create_density_field(
            Range{defaults.x_min_exact, defaults.x_max_exact, defaults.y_min_exact, defaults.y_max_exact}),
        [](DensityField* f) { f->ops.destroy(f); });
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "r"), std::fclose);
    if (!field || !file || field->ops.load(field.get(), file.get(), 0) <= 0 || std::ferror(file.get()) ||
        field->ops.width(field.get()) != kNodes || field->ops.height(field.get()) != kNodes) {
        std::fprintf(stderr, "cannot read the points of %s\n", path);
        std::exit(2);
    }
    const double* nodes = field->ops.data(field.get());
    return std::vector<double>(nodes, nodes + kNodes * kNodes);
}

// The heights the scene is drawn with: the points file's, or the bench's own.
inline std::vector<double> scene_heights() { return points_path() ? load_heights(points_path()) : make_heights(); }

inline Scene make_scene()
{
    Scene scene;
    scene.heights = scene_heights();
    const NodeGrid grid = grid_of(scene.heights);
    scene.surface =
        written<SurfaceVertex>(surface_size(grid), [&](auto v, auto i) { return write_surface(v, i, grid); });
    scene.grid =
        written<LineVertex>(grid_lines_size(grid), [&](auto v, auto i) { return write_grid_lines(v, i, grid); });
    scene.marker = written<MarkerVertex>(marker_size(grid, kMarker),
                                         [&](auto v, auto i) { return write_marker(v, i, grid, kMarker); });
    return scene;
}

// Texel (x, y) of any level: squares of 16 texels in two colours.
inline uint32_t checker_texel(unsigned x, unsigned y) { return ((x ^ y) & 16) ? 0xFFE0C080 : 0xFF4080C0; }

// The frame's size: 1024 x 768 unless "--size WIDTHxHEIGHT" set another.
struct FrameSize {
    int width = 1024, height = 768;
};

inline FrameSize& frame_size()
{
    static FrameSize size;
    return size;
}

// Takes "--size WIDTHxHEIGHT" (each side 1 to 16384) at argv[i], i moved
// past it; false when argv[i] is something else. A bad size ends the program.
inline bool take_size_option(int argc, char** argv, int& i)
{
    if (std::strcmp(argv[i], "--size") != 0 || i + 1 >= argc) {
        return false;
    }
    int width = 0, height = 0;
    char tail = 0;
    if (std::sscanf(argv[++i], "%dx%d%c", &width, &height, &tail) != 2 || width < 1 || height < 1 || width > 16384 ||
        height > 16384) {
        std::fprintf(stderr, "bad --size %s: WIDTHxHEIGHT wanted\n", argv[i]);
        std::exit(2);
    }
    frame_size() = FrameSize{width, height};
    return true;
}

inline Matrix4 projection() { return build_scene_projection(frame_size().width, frame_size().height); }

// The orbiting camera: radius step 0..100, azimuth and elevation in degrees.
inline Matrix4 camera(int radius, int azimuth, int elevation)
{
    const CameraVectors v = camera_vectors(CameraSetting{radius, azimuth, elevation});
    return build_view_matrix(v.eye, v.at, v.up);
}

// The surface's order for that camera, as the viewer picks it.
inline int surface_order_for(int radius, int azimuth, int elevation)
{
    const CameraVectors v = camera_vectors(CameraSetting{radius, azimuth, elevation});
    return surface_order(v.eye.x, v.eye.y);
}

// "--sweep STEP ROUNDS": the frame at every STEP degrees of azimuth (the
// camera's radius and elevation kept), the azimuths taken in turn, one
// frame each, ROUNDS times over after one round unmeasured. Taken in turn,
// a busy spell of a shared machine falls on every azimuth alike, so their
// ratios hold where separate runs of each would not.
struct SweepOption {
    int step = 0, rounds = 0; // step 0: no sweep
};

inline SweepOption& sweep_option()
{
    static SweepOption option;
    return option;
}

// Takes "--sweep STEP ROUNDS" at argv[i], i moved past it; false when
// argv[i] is something else. Bad numbers end the program.
inline bool take_sweep_option(int argc, char** argv, int& i)
{
    if (std::strcmp(argv[i], "--sweep") != 0 || i + 2 >= argc) {
        return false;
    }
    const int step = std::atoi(argv[i + 1]), rounds = std::atoi(argv[i + 2]);
    if (step < 1 || step > 360 || rounds < 1) {
        std::fprintf(stderr, "bad --sweep %s %s: a step of 1 to 360 degrees and at least one round wanted\n",
                     argv[i + 1], argv[i + 2]);
        std::exit(2);
    }
    sweep_option() = SweepOption{step, rounds};
    i += 2;
    return true;
}

// Runs the sweep on `scene` (set_camera(radius, azimuth, elevation) and
// render(), the frame complete when it returns) and prints a line
// "AZIMUTH MEDIAN_MS" for each azimuth.
template <class Scene>
int run_sweep(Scene& scene, int radius, int elevation)
{
    const SweepOption option = sweep_option();
    std::vector<int> azimuths;
    for (int azimuth = 0; azimuth < 360; azimuth += option.step) {
        azimuths.push_back(azimuth);
    }
    std::vector<std::vector<double>> times(azimuths.size());
    for (int round = -1; round < option.rounds; ++round) {
        for (size_t k = 0; k < azimuths.size(); ++k) {
            scene.set_camera(radius, azimuths[k], elevation);
            const auto start = std::chrono::steady_clock::now();
            scene.render();
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            if (round >= 0) {
                times[k].push_back(took.count());
            }
        }
    }
    for (size_t k = 0; k < azimuths.size(); ++k) {
        std::vector<double>& t = times[k];
        std::sort(t.begin(), t.end());
        const size_t n = t.size();
        std::printf("%d %.4f\n", azimuths[k], n % 2 ? t[n / 2] : (t[n / 2 - 1] + t[n / 2]) / 2);
    }
    return std::ferror(stdout) ? 1 : 0;
}

// A frame (0x..RRGGBB pixels, top row first) as a binary PPM, to look at.
inline int write_ppm(const char* path, const std::vector<uint32_t>& pixels)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "wb"), std::fclose);
    if (!file) {
        return 1;
    }
    std::fprintf(file.get(), "P6\n%d %d\n255\n", frame_size().width, frame_size().height);
    for (uint32_t p : pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                      static_cast<unsigned char>(p)};
        std::fwrite(rgb, 1, 3, file.get());
    }
    return std::ferror(file.get()) ? 1 : 0;
}

} // namespace viewer_scene

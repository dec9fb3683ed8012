// The viewer's scene as plain data, for the frame benchmarks of the software
// device and of the peer renderer: a 201 x 201 field of two bumps and a
// ridge, its surface mesh (grey shades, texture coordinates), the 11 + 11
// grid lines, the marker cross, a 256 x 256 checker texture, and the
// orbiting camera's view and projection matrices (row vectors, rows first).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace viewer_scene {

constexpr int kNodes = 201;
constexpr int kWidth = 1024, kHeight = 768;
constexpr int kTextureSize = 256;

struct SurfaceVertex {
    float x, y, z;
    uint32_t color;  // 0xAARRGGBB
    float u, v;
};
struct LineVertex {
    float x, y, z;
};
struct MarkerVertex {
    float x, y, z;
    uint32_t color;
};

template <class Vertex>
struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
};

using Matrix = std::array<float, 16>;  // _11 _12 _13 _14 _21 ...

struct Scene {
    std::vector<double> heights;  // node (i, j) at j * kNodes + i, highest 1
    Mesh<SurfaceVertex> surface;  // triangle list, 80,000 triangles
    Mesh<LineVertex> grid;        // line list, 4,400 segments
    Mesh<MarkerVertex> marker;    // line list, 400 segments
    std::vector<uint32_t> texture;  // level 0, kTextureSize squared, 0xAARRGGBB
};

inline float node_x(int i) {
    return float(float(i) / float(kNodes - 1)) - 0.5f;
}

// Two bumps and a ridge, normalised to a highest node of 1, empty nodes at
// two edges (drawn black).
inline std::vector<double> make_heights() {
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

inline Mesh<SurfaceVertex> make_surface(const std::vector<double>& heights) {
    Mesh<SurfaceVertex> mesh;
    for (int j = 0; j < kNodes; ++j) {
        for (int i = 0; i < kNodes; ++i) {
            const double h = heights[j * kNodes + i];
            uint32_t shade = 0xFF000000;
            if (h != 0.0) {
                const int level = std::min(255, std::max(0, int(std::floor(h * 127 + 128.5))));
                shade = 0xFF000000 + level * 0x10000 + level * 0x100 + level;
            }
            const float u = float(i) / float(kNodes - 1), v = float(j) / float(kNodes - 1);
            mesh.vertices.push_back({node_x(i), node_x(j), float(-h), shade, u, 1.0f - v});
        }
    }
    for (int r = 0; r < kNodes - 1; ++r) {
        for (int i = 0; i < kNodes - 1; ++i) {
            const int k = r * kNodes + i;
            for (int index : {k, k + kNodes, k + 1, k + kNodes, k + kNodes + 1, k + 1}) {
                mesh.indices.push_back(uint16_t(index));
            }
        }
    }
    return mesh;
}

inline Mesh<LineVertex> make_grid_lines(const std::vector<double>& heights) {
    Mesh<LineVertex> mesh;
    for (int r = 0; r < kNodes; r += 20) {
        for (int i = 0; i < kNodes; ++i) {
            mesh.vertices.push_back({node_x(i), node_x(r), float(-heights[r * kNodes + i] - 0.01)});
        }
    }
    for (int k = 0; k < kNodes; k += 20) {
        for (int j = 0; j < kNodes; ++j) {
            mesh.vertices.push_back({node_x(k), node_x(j), float(-heights[j * kNodes + k] - 0.01)});
        }
    }
    for (int line = 0; line < 22; ++line) {
        for (int s = 0; s < kNodes - 1; ++s) {
            mesh.indices.push_back(uint16_t(line * kNodes + s));
            mesh.indices.push_back(uint16_t(line * kNodes + s + 1));
        }
    }
    return mesh;
}

inline Mesh<MarkerVertex> make_marker(const std::vector<double>& heights, double px, double py) {
    Mesh<MarkerVertex> mesh;
    const int jm = int(std::floor((kNodes - 1) * py + 0.5)), im = int(std::floor((kNodes - 1) * px + 0.5));
    for (int i = 0; i < kNodes; ++i) {
        mesh.vertices.push_back({node_x(i), float(py - 0.5), float(-heights[jm * kNodes + i] - 0.01), 0xFFFFFF00});
    }
    for (int j = 0; j < kNodes; ++j) {
        mesh.vertices.push_back({float(px - 0.5), node_x(j), float(-heights[j * kNodes + im] - 0.01), 0xFFFFFF00});
    }
    for (int line = 0; line < 2; ++line) {
        for (int s = 0; s < kNodes - 1; ++s) {
            mesh.indices.push_back(uint16_t(line * kNodes + s));
            mesh.indices.push_back(uint16_t(line * kNodes + s + 1));
        }
    }
    return mesh;
}

// Texel (x, y) of any level: squares of 16 texels in two colours.
inline uint32_t checker_texel(unsigned x, unsigned y) {
    return ((x ^ y) & 16) ? 0xFFE0C080 : 0xFF4080C0;
}

inline Scene make_scene() {
    Scene scene;
    scene.heights = make_heights();
    scene.surface = make_surface(scene.heights);
    scene.grid = make_grid_lines(scene.heights);
    scene.marker = make_marker(scene.heights, 0.3, 0.6);
    scene.texture.resize(kTextureSize * kTextureSize);
    for (unsigned y = 0; y < kTextureSize; ++y) {
        for (unsigned x = 0; x < kTextureSize; ++x) {
            scene.texture[y * kTextureSize + x] = checker_texel(x, y);
        }
    }
    return scene;
}

struct Vec3 {
    float x, y, z;
};

inline Vec3 sub(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 normalise(Vec3 a) {
    const float length = std::sqrt(dot(a, a));
    return length > 0 ? Vec3{a.x / length, a.y / length, a.z / length} : Vec3{0, 0, 0};
}

// Left-handed look-at.
inline Matrix look_at(Vec3 eye, Vec3 at, Vec3 up) {
    const Vec3 z = normalise(sub(at, eye));
    const Vec3 x = normalise(cross(up, z));
    const Vec3 y = cross(z, x);
    return {x.x, y.x, z.x, 0, x.y, y.y, z.y, 0, x.z, y.z, z.z, 0, -dot(x, eye), -dot(y, eye), -dot(z, eye), 1};
}

// Left-handed perspective with a vertical field of view; depth 0 at the near
// plane, 1 at the far one.
inline Matrix perspective(float fov, float aspect, float near_plane, float far_plane) {
    const float y_scale = std::cos(fov * 0.5f) / std::sin(fov * 0.5f);
    const float q = far_plane / (far_plane - near_plane);
    return {y_scale / aspect, 0, 0, 0, 0, y_scale, 0, 0, 0, 0, q, 1, 0, 0, -q * near_plane, 0};
}

inline Matrix projection() {
    return perspective(0.39269909f, float(kWidth) / float(kHeight), 1.0f, 100.0f);
}

// The orbiting camera: radius step 0..100, azimuth and elevation in degrees.
inline Matrix camera(int radius, int azimuth, int elevation) {
    const double pi = 3.1415927410125732;
    const double r = radius * 4.0 / 100.0 + 1.0;
    const double phi = (azimuth - 90) / 180.0 * pi, theta = elevation / 180.0 * pi;
    const Vec3 eye = {float(r * std::cos(theta) * std::cos(phi)), float(r * std::cos(theta) * std::sin(phi)),
                      -float(r * std::sin(theta) + 0.5)};
    const Vec3 up = {float(-std::sin(theta) * std::cos(phi)), float(-std::sin(theta) * std::sin(phi)),
                     float(-std::cos(theta))};
    return look_at(eye, {0, 0, -0.5f}, up);
}

// A frame (0x..RRGGBB pixels, top row first) as a binary PPM, to look at.
inline int write_ppm(const char* path, const std::vector<uint32_t>& pixels) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "wb"), std::fclose);
    if (!file) {
        return 1;
    }
    std::fprintf(file.get(), "P6\n%d %d\n255\n", kWidth, kHeight);
    for (uint32_t p : pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                      static_cast<unsigned char>(p)};
        std::fwrite(rgb, 1, 3, file.get());
    }
    return std::ferror(file.get()) ? 1 : 0;
}

}  // namespace viewer_scene

// The peer of bench_software_device: the same frame of the viewer's scene
// drawn by Mesa's llvmpipe through OSMesa, with the same mesh, shades,
// texture (a full mip chain sampled bilinearly from level 0), lines, camera
// and states: no culling, depth test less-or-equal into a 16-bit depth
// buffer, no dithering, no lighting, texture times vertex colour, clear to
// grey. A frame runs from the clear to glFinish, which leaves the picture in
// the caller's memory as Present does on the device.
//
// Built only where OSMesa is installed; bench/device_vs_llvmpipe.sh builds
// this program and runs both in turn.
//
//   build/bin/peer_llvmpipe_frame --camera 30 45 30 --benchmark_repetitions=15
//   build/bin/peer_llvmpipe_frame --camera 30 45 30 --ppm frame.ppm
//   LP_NUM_THREADS=2 build/bin/peer_llvmpipe_frame --camera 30 45 30 --size 3840x2160
//   build/bin/peer_llvmpipe_frame --camera 30 0 30 --sweep 15 21   (every 15 degrees of azimuth)
//
// llvmpipe draws on LP_NUM_THREADS threads besides the caller's (one per
// core when unset).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/osmesa.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "viewer_scene.h"

namespace {

using namespace viewer_scene;

struct Context {
    OSMesaContext context = nullptr;
    std::vector<uint32_t> pixels =
        std::vector<uint32_t>(size_t(frame_size().width) * size_t(frame_size().height)); // 0xAARRGGBB, top row first
    GLuint buffers[6] = {};
    GLuint texture = 0;

    Context()
    {
        // 16 depth bits, no stencil, no accumulation buffer.
        context = OSMesaCreateContextExt(OSMESA_BGRA, 16, 0, 0, nullptr);
        if (!context ||
            !OSMesaMakeCurrent(context, pixels.data(), GL_UNSIGNED_BYTE, frame_size().width, frame_size().height)) {
            std::fprintf(stderr, "peer_llvmpipe_frame: no OSMesa context\n");
            std::exit(1);
        }
        OSMesaPixelStore(OSMESA_Y_UP, 0);
    }
    ~Context()
    {
        glDeleteBuffers(6, buffers);
        glDeleteTextures(1, &texture);
        OSMesaDestroyContext(context);
    }
};

class PeerScene {
public:
    PeerScene()
    {
        const Scene scene = make_scene();
        upload(0, scene.surface);
        upload(2, scene.grid);
        upload(4, scene.marker);
        counts_[0] = GLsizei(scene.surface.indices.size() / kSurfaceOrders);
        counts_[1] = GLsizei(scene.grid.indices.size());
        counts_[2] = GLsizei(scene.marker.indices.size());
        make_texture();
        apply_states();
    }

    void set_camera(int radius, int azimuth, int elevation)
    {
        // Row vectors with rows first are column vectors with columns first.
        // The device's depth runs 0..1 over the view volume, GL's -1..1.
        const Matrix4 to_gl_depth = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 2, 0}, {0, 0, -1, 1}}};
        const Matrix4 view = camera(radius, azimuth, elevation);
        const Matrix4 scene_projection = projection();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMultMatrixf(&to_gl_depth.m[0][0]);
        glMultMatrixf(&scene_projection.m[0][0]);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(&view.m[0][0]);
        order_ = surface_order_for(radius, azimuth, elevation);
    }

    void render()
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // The surface: position, colour, texture coordinates, textured.
        glBindBuffer(GL_ARRAY_BUFFER, context_.buffers[0]);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, context_.buffers[1]);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(SurfaceVertex), nullptr);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(SurfaceVertex),
                       reinterpret_cast<void*>(offsetof(SurfaceVertex, color)));
        glTexCoordPointer(2, GL_FLOAT, sizeof(SurfaceVertex), reinterpret_cast<void*>(offsetof(SurfaceVertex, u)));
        glEnable(GL_TEXTURE_2D);
        // The same order of the surface's cells as the device draws.
        glDrawElements(GL_TRIANGLES, counts_[0], GL_UNSIGNED_SHORT,
                       reinterpret_cast<void*>(std::size_t(order_) * std::size_t(counts_[0]) * sizeof(uint16_t)));
        glDisable(GL_TEXTURE_2D);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        // The grid lines: positions only, hence white.
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4ub(255, 255, 255, 255);
        glBindBuffer(GL_ARRAY_BUFFER, context_.buffers[2]);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, context_.buffers[3]);
        glVertexPointer(3, GL_FLOAT, sizeof(LineVertex), nullptr);
        glDrawElements(GL_LINES, counts_[1], GL_UNSIGNED_SHORT, nullptr);
        // The marker cross: yellow vertices.
        glEnableClientState(GL_COLOR_ARRAY);
        glBindBuffer(GL_ARRAY_BUFFER, context_.buffers[4]);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, context_.buffers[5]);
        glVertexPointer(3, GL_FLOAT, sizeof(MarkerVertex), nullptr);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(MarkerVertex),
                       reinterpret_cast<void*>(offsetof(MarkerVertex, color)));
        glDrawElements(GL_LINES, counts_[2], GL_UNSIGNED_SHORT, nullptr);
        glDisableClientState(GL_COLOR_ARRAY);
        glFinish();
    }

    const std::vector<uint32_t>& pixels() const { return context_.pixels; }

private:
    template <class Vertex>
    void upload(int first, const Mesh<Vertex>& mesh)
    {
        if (!context_.buffers[0]) {
            glGenBuffers(6, context_.buffers);
        }
        glBindBuffer(GL_ARRAY_BUFFER, context_.buffers[first]);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(mesh.vertices.size() * sizeof(Vertex)), mesh.vertices.data(),
                     GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, context_.buffers[first + 1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(mesh.indices.size() * 2), mesh.indices.data(), GL_STATIC_DRAW);
    }

    void make_texture()
    {
        glGenTextures(1, &context_.texture);
        glBindTexture(GL_TEXTURE_2D, context_.texture);
        std::vector<uint32_t> level_texels;
        for (int level = 0, size = kTextureSize; size >= 1; ++level, size /= 2) {
            level_texels.resize(size_t(size) * size);
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    level_texels[size_t(y) * size + x] = checker_texel(unsigned(x), unsigned(y));
                }
            }
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, size, size, 0, GL_BGRA, GL_UNSIGNED_BYTE, level_texels.data());
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    }

    void apply_states()
    {
        glViewport(0, 0, frame_size().width, frame_size().height);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDisable(GL_DITHER);
        glDisable(GL_LIGHTING);
        glClearColor(128 / 255.0f, 128 / 255.0f, 128 / 255.0f, 1.0f);
        glClearDepth(1.0);
        glEnableClientState(GL_VERTEX_ARRAY);
    }

    Context context_;
    GLsizei counts_[3] = {};
    int order_ = 0;
};

int g_radius = 30, g_azimuth = 45, g_elevation = 30;

void BM_PeerFrame(benchmark::State& state)
{
    PeerScene scene;
    scene.set_camera(g_radius, g_azimuth, g_elevation);
    for (auto _ : state) {
        scene.render();
    }
    size_t drawn = 0;
    for (uint32_t p : scene.pixels()) {
        drawn += (p & 0xFFFFFF) != 0x808080;
    }
    state.counters["covered_pixels"] = double(drawn);
    state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

// One frame into a binary PPM.
int write_frame(const char* path)
{
    PeerScene scene;
    scene.set_camera(g_radius, g_azimuth, g_elevation);
    scene.render();
    return write_ppm(path, scene.pixels());
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> rest;
    const char* ppm = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--camera") == 0 && i + 3 < argc) {
            g_radius = std::atoi(argv[i + 1]);
            g_azimuth = std::atoi(argv[i + 2]);
            g_elevation = std::atoi(argv[i + 3]);
            i += 3;
        } else if (std::strcmp(argv[i], "--ppm") == 0 && i + 1 < argc) {
            ppm = argv[++i];
        } else if (!take_size_option(argc, argv, i) && !take_points_option(argc, argv, i) &&
                   !take_sweep_option(argc, argv, i)) {
            rest.push_back(argv[i]);
        }
    }
    if (ppm) {
        return write_frame(ppm);
    }
    if (sweep_option().step > 0) {
        PeerScene scene;
        return run_sweep(scene, g_radius, g_elevation);
    }
    benchmark::RegisterBenchmark("BM_PeerFrame", BM_PeerFrame)->Unit(benchmark::kMillisecond)->MinTime(1.0);
    int rest_count = static_cast<int>(rest.size());
    benchmark::Initialize(&rest_count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

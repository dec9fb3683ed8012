// What the texts and the height scale add to a frame: one renderer at
// 1024 x 768 over a loaded field, frames drawn with the overlay and
// without, the two measured in turns so that a busy machine slows both.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "field/density_field.h"
#include "platform/d3d9/offscreen_window.h"
#include "render/renderer.h"
#include "render/renderer_state.h"

namespace {

struct Frames {
    OffscreenWindow window{1024, 768};
    Renderer* renderer = nullptr;
    DensityField* field = nullptr;

    Frames()
    {
        field = create_density_field(Range{0, 4000, 0, 4000});
        std::FILE* file = std::tmpfile();
        for (int k = 0; k < 200000; ++k) // a hill of points around the middle
            std::fprintf(file, "%lld %lld\n", 1000 + (k * 7919LL) % 2000, 1000 + (k * 104729LL) % 2000);
        std::rewind(file);
        field->ops.load(field, file, 0);
        std::fclose(file);
        renderer = create_renderer(&window);
        renderer->ops.set_caption(renderer, "points.txt");
        renderer->ops.set_field(renderer, field);
        const CameraSetting camera{60, 30, 35};
        renderer->ops.set_camera(renderer, &camera);
    }
    ~Frames()
    {
        renderer->ops.destroy(renderer);
        field->ops.destroy(field);
    }
};

void BM_Frame(benchmark::State& state)
{
    static Frames frames;
    PictureOptions options;
    options.show_axes = state.range(0) != 0;
    frames.renderer->ops.set_picture_options(frames.renderer, &options);
    for (auto _ : state)
        frames.renderer->ops.render(frames.renderer);
}
BENCHMARK(BM_Frame)->ArgName("axes")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Repetitions(8);

// The overlay's draw alone, as a frame draws it after the scene: on a
// loaded machine the frames above differ by less than they scatter.
void BM_OverlayDraw(benchmark::State& state)
{
    static Frames frames;
    PictureOptions options;
    frames.renderer->ops.set_picture_options(frames.renderer, &options);
    RendererState* s = renderer_state(frames.renderer);
    const int32_t limit = primitive_limit(s->caps);
    for (auto _ : state) {
        s->device->BeginScene();
        draw_on_screen(s->device, &s->batches[kOverlayBatch], limit);
        s->device->EndScene();
    }
    state.counters["quads"] = double(s->batches[kOverlayBatch].primitive_count / 2);
}
BENCHMARK(BM_OverlayDraw)->Unit(benchmark::kMicrosecond)->Repetitions(8);

} // namespace

BENCHMARK_MAIN();

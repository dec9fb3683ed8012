// varnel-cli render: the viewer's pipeline without a window. A field loaded
// from a data file, a renderer on an offscreen window, the texture, marker
// and camera as the panel sets them, some frames, and the last picture
// written as a PNG, JPEG, BMP or PPM file.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/drawing_threads.h"
#include "platform/d3d9/offscreen_window.h"
#include "platform/d3d9/software_direct3d.h"
#include "render/picture_files.h"
#include "render/renderer.h"
#include "render/scene/colour_maps.h"
#include "render/scene/node_heights.h"
#include "render/text/camera_fit.h"
#include "tools/commands.h"
#include "tools/data_commands.h"

namespace {

// A whole number in [low, high], with `*end` left where it stopped.
bool parse_long(const char* text, long low, long high, long* value, char** end)
{
    errno = 0;
    *value = std::strtol(text, end, 10);
    return *end != text && errno == 0 && *value >= low && *value <= high;
}

bool parse_int(const char* text, long low, long high, int* value)
{
    char* end = nullptr;
    long n = 0;
    if (!parse_long(text, low, high, &n, &end) || *end != '\0')
        return false;
    *value = static_cast<int>(n);
    return true;
}

// WIDTHxHEIGHT, each side from 1 to the largest back buffer the device makes.
bool parse_size(const char* text, UINT* width, UINT* height)
{
    char* end = nullptr;
    long w = 0, h = 0;
    if (!parse_long(text, 1, kMaxBackBufferSide, &w, &end) || *end != 'x')
        return false;
    const char* rest = end + 1;
    if (!parse_long(rest, 1, kMaxBackBufferSide, &h, &end) || *end != '\0')
        return false;
    *width = static_cast<UINT>(w);
    *height = static_cast<UINT>(h);
    return true;
}

// The camera's three numbers and their limits, as --help gives them: from
// the nearest distance step to the farthest, any azimuth, and from the
// floor's level to straight down.
struct CameraPart {
    const char* name;
    int32_t CameraSetting::*member;
    long long lowest, highest;
};
constexpr CameraPart kCameraParts[] = {
    {"RADIUS", &CameraSetting::radius, 0, kFarthestRadius},
    {"AZIMUTH", &CameraSetting::azimuth, INT32_MIN, INT32_MAX},
    {"ELEVATION", &CameraSetting::elevation, 0, 90},
};

// The camera the viewer starts with.
CameraSetting default_camera()
{
    const Settings defaults = default_settings();
    return {defaults.radius, defaults.azimuth, defaults.elevation};
}

// What render loads unless told otherwise: the viewer's first range.
LoadRequest load_request()
{
    LoadRequest request;
    request.range = default_range();
    return request;
}

struct Options {
    const char* data_path = nullptr;
    const char* out_path = nullptr;
    PictureFormat out_format = PictureFormat::png;
    const char* texture_path = nullptr;
    LoadRequest load = load_request(); // the data file, its columns and the range
    CameraSetting camera = default_camera();
    bool fit = false; // the distance that frames the whole box, for the camera's angles
    UINT width = 640, height = 480;
    bool marker = false;
    double marker_x = 0, marker_y = 0;
    int frames = 1;
    bool time = false;
    PictureOptions picture;
    unsigned threads = 0;          // that read the data and draw; 0: one per core
    const char* x_label = nullptr; // the axes' names; null: the header's names, or X and Y
    const char* y_label = nullptr;
};

// The choices of --colormap and --smooth, from the maps and widths themselves.
std::string colour_map_choices()
{
    std::vector<std::string> names;
    for (int k = 0; k < kColourMapCount; ++k)
        names.push_back(colour_map_name(ColourMap(k)));
    return or_list(names);
}

std::string smoothing_choices()
{
    std::vector<std::string> widths;
    for (int32_t cells : kSmoothingChoices)
        widths.push_back(cells == kSmoothingAuto ? "auto" : std::to_string(cells));
    return or_list(widths);
}

// What was wrong with the command line, or empty when nothing was.
std::string parse_options(int argc, char** argv, Options* o)
{
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        const int left = argc - 1 - i;
        if (std::strcmp(arg, "-o") == 0) {
            if (left < 1)
                return missing_value(arg, "a file name");
            o->out_path = argv[++i];
            if (!picture_format_of(o->out_path, &o->out_format))
                return bad_value(arg, o->out_path, "the picture's name must end in " + or_list(picture_extensions()));
        } else if (std::strcmp(arg, "--columns") == 0) {
            std::string problem;
            if (!parse_columns_option(argc, argv, i, &o->load.columns, &problem))
                return problem;
        } else if (std::strcmp(arg, "--range") == 0) {
            std::string problem;
            if (!parse_range_option(argc, argv, i, &o->load.range, &o->load.fit_range, &problem))
                return problem;
        } else if (std::strcmp(arg, "--xlabel") == 0 || std::strcmp(arg, "--ylabel") == 0) {
            if (left < 1)
                return missing_value(arg, "the axis's name");
            (arg[2] == 'x' ? o->x_label : o->y_label) = argv[++i];
        } else if (std::strcmp(arg, "--binning") == 0) {
            std::string problem;
            if (!parse_binning_option(argc, argv, i, &o->load.binning, &problem))
                return problem;
            o->load.binning_chosen = true;
        } else if (std::strcmp(arg, "--camera") == 0) {
            if (left < 3)
                return missing_value(arg, "three whole numbers: RADIUS AZIMUTH ELEVATION");
            for (const CameraPart& part : kCameraParts) {
                const char* text = argv[++i];
                char* end = nullptr;
                errno = 0;
                const long long value = std::strtoll(text, &end, 10);
                if (end == text || *end != '\0')
                    return bad_value(arg, text, "not a whole number");
                if (errno == ERANGE || value < part.lowest || value > part.highest)
                    return bad_value(arg, text,
                                     std::string(part.name) + " is out of range, " + std::to_string(part.lowest) +
                                         " to " + std::to_string(part.highest));
                o->camera.*part.member = static_cast<int32_t>(value);
            }
        } else if (std::strcmp(arg, "--fit") == 0) {
            o->fit = true;
        } else if (std::strcmp(arg, "--size") == 0) {
            if (left < 1)
                return missing_value(arg, "WIDTHxHEIGHT");
            if (!parse_size(argv[++i], &o->width, &o->height))
                return bad_value(arg, argv[i],
                                 "must be WIDTHxHEIGHT, each side 1 to " + std::to_string(kMaxBackBufferSide));
        } else if (std::strcmp(arg, "--texture") == 0) {
            if (left < 1)
                return missing_value(arg, "an image file");
            o->texture_path = argv[++i];
        } else if (std::strcmp(arg, "--marker") == 0) {
            if (left < 2)
                return missing_value(arg, "two numbers: X Y");
            o->marker = true;
            for (double* value : {&o->marker_x, &o->marker_y})
                if (!parse_double(argv[++i], value))
                    return bad_value(arg, argv[i], "not a number");
        } else if (std::strcmp(arg, "--frames") == 0) {
            if (left < 1)
                return missing_value(arg, "a number of frames");
            if (!parse_int(argv[++i], 1, 1000000, &o->frames))
                return bad_value(arg, argv[i], "not a whole number from 1 to 1000000");
        } else if (std::strcmp(arg, "--threads") == 0) {
            if (left < 1)
                return missing_value(arg, "a number of threads");
            if (!parse_threads(argv[++i], &o->threads))
                return bad_value(arg, argv[i], kThreadsRule);
        } else if (std::strcmp(arg, "--time") == 0) {
            o->time = true;
        } else if (std::strcmp(arg, "--colormap") == 0) {
            if (left < 1)
                return missing_value(arg, ("a colour map: " + colour_map_choices()).c_str());
            const std::optional<ColourMap> map = colour_map_named(argv[++i]);
            if (!map)
                return bad_value(arg, argv[i], "not a colour map: " + colour_map_choices());
            o->picture.colour_map = *map;
        } else if (std::strcmp(arg, "--smooth") == 0) {
            if (left < 1)
                return missing_value(arg, ("a width in cells: " + smoothing_choices()).c_str());
            if (std::strcmp(argv[++i], "auto") == 0)
                o->picture.smoothing_cells = kSmoothingAuto;
            else if (!parse_int(argv[i], INT32_MIN, INT32_MAX, &o->picture.smoothing_cells) ||
                     !is_smoothing_choice(o->picture.smoothing_cells) || o->picture.smoothing_cells == kSmoothingAuto)
                return bad_value(arg, argv[i], "the width in cells is " + smoothing_choices());
        } else if (std::strcmp(arg, "--log") == 0) {
            o->picture.log_scale = true;
        } else if (std::strcmp(arg, "--texture-only") == 0) {
            o->picture.texture_only = true;
        } else if (std::strcmp(arg, "--no-axes") == 0) {
            o->picture.show_axes = false;
        } else if (std::strcmp(arg, "--map") == 0) {
            o->picture.map_view = true;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return unknown_option(arg);
        } else if (!o->data_path) {
            o->data_path = arg;
        } else {
            return std::string("one data file only, not also ") + arg;
        }
    }
    if (!o->data_path)
        return "no data file given";
    if (!o->out_path)
        return "no picture file given (-o OUT.png)";
    return {};
}

struct RendererDestroyer {
    void operator()(Renderer* renderer) const { renderer->ops.destroy(renderer); }
};

using Clock = std::chrono::steady_clock;

double milliseconds_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int render_command(int argc, char** argv)
{
    Options o;
    const std::string problem = parse_options(argc, argv, &o);
    if (!problem.empty())
        return usage_error(kRenderUsage, problem);

    // Known at once, not after a million frames, when OUT cannot be written.
    ReplacingFile out;
    if (!open_output(&out, o.out_path))
        return cannot_write(o.out_path, out.reason());

    Clock::time_point start = Clock::now();
    o.load.path = o.data_path;
    o.load.threads = o.threads;
    const LoadedField loaded = load_for_command(o.load);
    if (loaded.failure == LoadFailure::no_column)
        return usage_error(kRenderUsage, no_column_problem(loaded, o.data_path));
    if (!loaded.field)
        return 1;
    const double load_ms = milliseconds_since(start);

    d3d9_set_drawing_threads(o.threads);
    OffscreenWindow window(o.width, o.height);
    std::unique_ptr<Renderer, RendererDestroyer> renderer(create_renderer(&window));
    if (!renderer) {
        std::fprintf(stderr, "varnel-cli: cannot create a %" PRIu32 "x%" PRIu32 " Direct3D device\n", o.width,
                     o.height);
        return 1;
    }
    Renderer* r = renderer.get();
    r->ops.set_picture_options(r, &o.picture); // before the field, so the mesh is built once
    r->ops.set_caption(r, file_name_of(o.data_path));
    r->ops.set_axis_titles(r, o.x_label ? o.x_label : loaded.columns.x_name.c_str(),
                           o.y_label ? o.y_label : loaded.columns.y_name.c_str());
    if (o.picture.smoothing_cells == kSmoothingAuto) {
        const FieldView view = density_field_view(loaded.field.get());
        std::fprintf(stderr, "varnel-cli: smoothing: %.1f cells (Scott's rule, %lld points in range)\n",
                     scott_smoothing_cells(NodeGrid{view.nx, view.ny, view.nodes}, view.max), view.counts.in_range);
    }
    start = Clock::now();
    r->ops.set_field(r, loaded.field.get());
    double mesh_ms = milliseconds_since(start);

    double texture_ms = 0;
    if (o.texture_path) {
        start = Clock::now();
        const HRESULT texture = r->ops.set_texture(r, o.texture_path);
        texture_ms = milliseconds_since(start);
        if (FAILED(texture))
            std::fprintf(stderr, "varnel-cli: warning: cannot load texture %s: 0x%08" PRIX32 "\n", o.texture_path,
                         static_cast<uint32_t>(texture));
    }

    if (o.marker) {
        // The pair the panel builds from the marker and the range.
        const Range& range = loaded.range;
        const MarkerPair pair{(o.marker_x - range.x_min) / (range.x_max - range.x_min),
                              (o.marker_y - range.y_min) / (range.y_max - range.y_min)};
        start = Clock::now();
        r->ops.set_marker(r, &pair);
        mesh_ms += milliseconds_since(start);
    }
    if (o.fit)
        o.camera.radius = fitted_camera_radius(o.camera.azimuth, o.camera.elevation, o.width, o.height);
    r->ops.set_camera(r, &o.camera);

    std::vector<double> frame_ms;
    HRESULT presented = S_OK;
    for (int k = 0; k < o.frames; ++k) {
        start = Clock::now();
        presented = r->ops.render(r);
        frame_ms.push_back(milliseconds_since(start));
    }
    if (FAILED(presented)) {
        std::fprintf(stderr, "varnel-cli: the frame could not be drawn: 0x%08" PRIX32 "\n",
                     static_cast<uint32_t>(presented));
        return 1;
    }

    start = Clock::now();
    if (!write_picture(out.stream(), o.out_format, window.frame(), window.frame_width(), window.frame_height()))
        return cannot_write(o.out_path, std::strerror(errno ? errno : EIO));
    if (!out.commit())
        return cannot_write(o.out_path, out.reason());
    const double png_ms = milliseconds_since(start);

    if (o.time)
        std::fprintf(stderr, "time load=%.3f mesh=%.3f texture=%.3f frame_median=%.3f png=%.3f\n", load_ms, mesh_ms,
                     texture_ms, median(frame_ms), png_ms);
    return 0;
}

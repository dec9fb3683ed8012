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
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "platform/d3d9/drawing_threads.h"
#include "platform/d3d9/offscreen_window.h"
#include "platform/d3d9/software_direct3d.h"
#include "render/height_scale_title.h"
#include "render/picture_files.h"
#include "render/renderer.h"
#include "render/scene/colour_maps.h"
#include "render/scene/node_heights.h"
#include "render/scene_view.h"
#include "field/kept_points.h"
#include "field/peak_region.h"
#include "render/text/camera_fit.h"
#include "tools/commands.h"
#include "tools/data_commands.h"
#include "tools/shared_options.h"

namespace {

// WIDTHxHEIGHT, each side from 1 to the largest back buffer the device makes.
bool parse_size(const char* text, UINT* width, UINT* height)
{
    char* end = nullptr;
    errno = 0;
    const long w = std::strtol(text, &end, 10);
    if (end == text || errno != 0 || w < 1 || w > long(kMaxBackBufferSide) || *end != 'x')
        return false;
    const char* rest = end + 1;
    const long h = std::strtol(rest, &end, 10);
    if (end == rest || errno != 0 || h < 1 || h > long(kMaxBackBufferSide) || *end != '\0')
        return false;
    *width = static_cast<UINT>(w);
    *height = static_cast<UINT>(h);
    return true;
}

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
    std::optional<std::string> data_path;
    std::optional<std::string> out_path;
    PictureFormat out_format = PictureFormat::png;
    std::optional<std::string> texture_path;
    LoadRequest load = load_request(); // the data file, its columns and the range
    CameraSetting camera = default_camera();
    bool fit = false; // the distance that frames the whole box, for the camera's angles
    UINT width = 640, height = 480;
    bool marker = false;
    double marker_x = 0, marker_y = 0;
    int frames = 1;
    bool time = false;
    PictureOptions picture;
    unsigned threads = 0;                        // that read the data and draw; 0: one per core
    std::optional<std::string> x_label, y_label; // the axes' names; none: the header's names, or X and Y
    bool peak = false;                           // binned again around the highest peak
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

// A usage error for the option's word.
[[noreturn]] void refuse(const char* option, const std::string& word, const std::string& rule)
{
    throw UsageProblem(bad_value(option, word.c_str(), rule));
}

void take_out_path(Options* o, const Words& words)
{
    o->out_path = word_at(words, 0, "-o", "a file name");
    if (!picture_format_of(o->out_path->c_str(), &o->out_format))
        refuse("-o", *o->out_path, "the picture's name must end in " + or_list(picture_extensions()));
}

void take_size(Options* o, const Words& words)
{
    const std::string& text = word_at(words, 0, "--size", "WIDTHxHEIGHT");
    if (!parse_size(text.c_str(), &o->width, &o->height))
        refuse("--size", text, "must be WIDTHxHEIGHT, each side 1 to " + std::to_string(kMaxBackBufferSide));
}

void take_marker(Options* o, const Words& words)
{
    need_words(words, 2, "--marker", "two numbers: X Y");
    o->marker = true;
    if (!real_number(words[0], &o->marker_x))
        refuse("--marker", words[0], "not a number");
    if (!real_number(words[1], &o->marker_y))
        refuse("--marker", words[1], "not a number");
}

void take_frames(Options* o, const Words& words)
{
    const std::string& text = word_at(words, 0, "--frames", "a number of frames");
    long frames = 0;
    if (!whole_number(text, 1, 1000000, &frames))
        refuse("--frames", text, "not a whole number from 1 to 1000000");
    o->frames = int(frames);
}

void take_colour_map(Options* o, const Words& words)
{
    const std::string& name = word_at(words, 0, "--colormap", "a colour map: " + colour_map_choices());
    const std::optional<ColourMap> map = colour_map_named(name.c_str());
    if (!map)
        refuse("--colormap", name, "not a colour map: " + colour_map_choices());
    o->picture.colour_map = *map;
}

void take_smoothing(Options* o, const Words& words)
{
    const std::string& text = word_at(words, 0, "--smooth", "a width in cells: " + smoothing_choices());
    long cells = 0;
    if (text == "auto")
        o->picture.smoothing_cells = kSmoothingAuto;
    else if (whole_number(text, INT32_MIN, INT32_MAX, &cells) && is_smoothing_choice(int32_t(cells)) &&
             cells != kSmoothingAuto)
        o->picture.smoothing_cells = int32_t(cells);
    else
        refuse("--smooth", text, "the width in cells is " + smoothing_choices());
}

// render's options, one row each.
void declare_options(OptionTable& table, Options* o)
{
    using std::placeholders::_1;
    table.words("-o", "OUT.png", 1, "the picture: .png, .jpg, .jpeg, .bmp or .ppm", std::bind(take_out_path, o, _1));
    add_range_option(table, &o->load.range, &o->load.fit_range);
    add_camera_option(table, &o->camera);
    table
        .words("--size", "WIDTHxHEIGHT", 1, "the picture's size, each side 1 to " + std::to_string(kMaxBackBufferSide),
               std::bind(take_size, o, _1))
        ->default_str(std::to_string(o->width) + "x" + std::to_string(o->height));
    add_file_option(table, "--texture", "IMAGE", "an image laid over the surface", &o->texture_path, "an image file");
    table.words("--marker", "X Y", 2, "a marker at the point (X, Y)", std::bind(take_marker, o, _1));
    table.words("--frames", "N", 1, "frames drawn, 1 to 1000000; the last is saved", std::bind(take_frames, o, _1))
        ->default_str(std::to_string(o->frames));
    table.flag("--time", &o->time, "the milliseconds each step took, on standard error");
    add_columns_option(table, &o->load.columns);
    table
        .words("--colormap", "MAP", 1, "the surface's colours: " + colour_map_choices(),
               std::bind(take_colour_map, o, _1))
        ->default_str(colour_map_name(o->picture.colour_map));
    table
        .words("--smooth", "CELLS", 1, "a Gaussian's sigma in cells: " + smoothing_choices(),
               std::bind(take_smoothing, o, _1))
        ->default_str(std::to_string(o->picture.smoothing_cells));
    table.flag("--log", &o->picture.log_scale, "heights on a logarithmic scale");
    table.flag("--texture-only", &o->picture.texture_only, "the texture's colours alone, without the colour map");
    table.flag("--no-axes", "no axes, labels or scale", [o] { o->picture.show_axes = false; });
    add_threads_option(table, &o->threads, "threads that read the data and draw");
    add_binning_option(table, &o->load.binning, &o->load.binning_chosen);
    const std::pair<const char*, std::optional<std::string>*> labels[] = {{"--xlabel", &o->x_label},
                                                                          {"--ylabel", &o->y_label}};
    for (const auto& entry : labels) {
        // Plain names, not a structured binding: clang before 16 captures none.
        const char* option = entry.first;
        std::optional<std::string>* label = entry.second;
        table.words(option, "TEXT", 1, "the axis's name, in place of the header's",
                    [option, label](const Words& words) { *label = word_at(words, 0, option, "the axis's name"); });
    }
    table.flag("--fit", &o->fit, "the distance that shows the whole surface, for the camera's angles");
    table.flag("--map", &o->picture.map_view, "the field straight down as a flat map");
    table.flag("--peak", &o->peak,
               "the range around the highest peak's half-height region (as the viewer's P key frames it), "
               "said on standard error");
    add_value_options(table, &o->load);
    table
        .words("--aspect", "SHAPE", 1, "the map's box: square, or equal (one unit of x as long as one of y)",
               [o](const Words& words) {
                   const std::string& shape = word_at(words, 0, "--aspect", "square or equal");
                   if (shape != "square" && shape != "equal")
                       refuse("--aspect", shape, "the map's box is square or equal");
                   o->picture.equal_aspect = shape == "equal";
               })
        ->default_str("square");
    table.others("DATA", "a data file, or a database's address", [o](const std::string& word) {
        if (o->data_path)
            throw UsageProblem("one data file only, not also " + word);
        o->data_path = word;
    });
}

} // namespace

std::string render_help()
{
    OptionTable table("render", kRenderUsage);
    Options o;
    declare_options(table, &o);
    return table.help();
}

namespace {

// What was wrong with the command line, or empty when nothing was.
std::string parse_options(int argc, char** argv, Options* o)
{
    OptionTable table("render", kRenderUsage);
    declare_options(table, o);
    if (std::string problem = table.parse(argc, argv); !problem.empty())
        return problem;
    if (!o->data_path)
        return "no data file given";
    if (!o->out_path)
        return "no picture file given (-o OUT.png)";
    // A mean's nodes without a value would blend into smoothed or logged heights.
    const ColumnRequest& columns = o->load.columns;
    if ((columns.numbers.value > 0 || !columns.value_name.empty()) &&
        (o->picture.log_scale || o->picture.smoothing_cells != 0))
        return "--mean is drawn from its least to its greatest value, without --log or --smooth";
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

// The field binned again over the range around its highest peak, which is
// said; false, having said why, for a field without a peak or a load that failed.
bool load_around_peak(LoadRequest* request, LoadedField* loaded)
{
    Range region;
    if (!peak_region(density_field_view(loaded->field.get()), &region)) {
        std::fprintf(stderr, "varnel-cli: no peak: no node of the field is above zero\n");
        return false;
    }
    std::fprintf(stderr, "varnel-cli: range around the highest peak: %s %s %s %s\n", exact_text(region.x_min).c_str(),
                 exact_text(region.x_max).c_str(), exact_text(region.y_min).c_str(), exact_text(region.y_max).c_str());
    request->range = region;
    request->fit_range = false;
    // The columns as found, so that a pick among a header's is not said again.
    request->columns.numbers = loaded->columns.columns;
    request->columns.chosen = true;
    request->columns.x_name = request->columns.y_name = {};
    request->columns.weight_name = request->columns.value_name = {};
    *loaded = load_for_command(*request);
    return loaded->field != nullptr;
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
    const char* out_path = o.out_path->c_str();
    const char* data_path = o.data_path->c_str();
    if (!open_output(&out, out_path))
        return cannot_write(out_path, out.reason());

    Clock::time_point start = Clock::now();
    o.load.path = data_path;
    o.load.threads = o.threads;
    KeptPoints kept; // for --peak's second binning
    struct stat facts;
    if (o.peak && stat(data_path, &facts) == 0 && !S_ISREG(facts.st_mode) && !S_ISDIR(facts.st_mode)) {
        // Its points are kept from a regular file only: a pipe would give
        // the second binning nothing.
        std::fprintf(stderr,
                     "varnel-cli: --peak reads %s twice, but it can be read only once (a pipe or a device);"
                     " give the range as XMIN XMAX YMIN YMAX\n",
                     data_path);
        return 1;
    }
    if (o.peak)
        o.load.kept = &kept;
    LoadedField loaded = load_for_command(o.load);
    if (loaded.failure == LoadFailure::no_column)
        return usage_error(kRenderUsage, no_column_problem(loaded, data_path));
    if (!loaded.field)
        return 1;
    if (o.peak && !load_around_peak(&o.load, &loaded))
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
    r->ops.set_caption(r, file_name_of(data_path));
    r->ops.set_axis_titles(r, o.x_label ? o.x_label->c_str() : loaded.columns.x_name.c_str(),
                           o.y_label ? o.y_label->c_str() : loaded.columns.y_name.c_str());
    if (loaded.measure != NodeMeasure::count)
        r->ops.set_scale_title(r, height_scale_title(loaded).c_str());
    const FieldView view = density_field_view(loaded.field.get());
    // Known only now, unlike a mean: sums below zero are drawn as means are.
    if (levels_from_least(view) && (o.picture.log_scale || o.picture.smoothing_cells != 0))
        std::fprintf(stderr,
                     "varnel-cli: warning: sums below zero are drawn from their least to their greatest,"
                     " without --log or --smooth\n");
    else if (o.picture.smoothing_cells == kSmoothingAuto)
        std::fprintf(stderr, "varnel-cli: smoothing: %.1f cells (Scott's rule, %lld points in range)\n",
                     scott_smoothing_cells(NodeGrid{view.nx, view.ny, view.nodes}, view.max), view.counts.in_range);
    start = Clock::now();
    r->ops.set_field(r, loaded.field.get());
    double mesh_ms = milliseconds_since(start);

    double texture_ms = 0;
    if (o.texture_path) {
        start = Clock::now();
        const HRESULT texture = r->ops.set_texture(r, o.texture_path->c_str());
        texture_ms = milliseconds_since(start);
        if (FAILED(texture))
            std::fprintf(stderr, "varnel-cli: warning: cannot load texture %s: 0x%08" PRIX32 "\n",
                         o.texture_path->c_str(), static_cast<uint32_t>(texture));
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
        return cannot_write(out_path, std::strerror(errno ? errno : EIO));
    if (!out.commit())
        return cannot_write(out_path, out.reason());
    const double png_ms = milliseconds_since(start);

    if (o.time)
        std::fprintf(stderr, "time load=%.3f mesh=%.3f texture=%.3f frame_median=%.3f png=%.3f\n", load_ms, mesh_ms,
                     texture_ms, median(frame_ms), png_ms);
    return 0;
}

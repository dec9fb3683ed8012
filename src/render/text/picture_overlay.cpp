// The overlay's layout: texts placed at projected scene points and kept
// apart, the height scale's bar one pixel row per level, and every text
// drawn as an outline pass under a glyph pass.
#include "render/text/picture_overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "render/scene/colour_maps.h"
#include "render/scene/mesh.h"
#include "render/scene/node_heights.h"
#include "render/text/axis_ticks.h"
#include "render/text/map_frame.h"
#include "render/text/camera_fit.h"
#include "render/text/number_text.h"
#include "resources/texts.h"

namespace {

constexpr uint32_t kGlyphColour = 0xFFFFFFFF;
constexpr uint32_t kOutlineColour = 0xFF000000;
constexpr uint32_t kBarFrameColour = 0xFF202020;
constexpr uint32_t kStatusBackingColour = 0xB0000000; // the surface shows through, dimmed
constexpr int kBarBand = 8;                           // rows
constexpr int kMostTicks = 10;
// Where an axis's name is tried, further out each time, until it is clear
// of the values.
constexpr float kNameOffsets[] = {0.12f, 0.16f, 0.2f, 0.25f, 0.3f, 0.36f, 0.43f};
constexpr char kEllipsis[] = "\xE2\x80\xA6"; // stands for the middle of a long name

struct Box {
    int x0, y0, x1, y1;
    bool overlaps(const Box& o, int margin) const
    {
        return x0 < o.x1 + margin && o.x0 < x1 + margin && y0 < o.y1 + margin && o.y0 < y1 + margin;
    }
};

std::string format_count(long long count) { return format_number(static_cast<double>(count), 0); }

// The ticks' (and the map's frame's) width: a glyph's stem, about.
float tick_stroke(const GlyphAtlas& atlas) { return std::max(1.0f, float(atlas.line_height) / 14.0f); }

int text_width(const GlyphAtlas& atlas, std::u32string_view text)
{
    int width = 0;
    for (char32_t c : text)
        if (const AtlasGlyph* g = atlas.find(c))
            width += g->advance;
    return width;
}

// Texts and their quads as they are placed; a text that would overlap
// one placed before it, or leave the picture, is skipped.
class Layout {
public:
    Layout(const GlyphAtlas& atlas, unsigned width, unsigned height)
        : atlas_(atlas), width_(int(width)), height_(int(height))
    {
        // The rows a number's ink takes below a line's top, outlines included.
        ink_top_ = atlas.line_height, ink_bottom_ = 0;
        for (char32_t c : U"0123456789.\u2212")
            if (const AtlasGlyph* g = c ? atlas.find(c) : nullptr) {
                ink_top_ = std::min(ink_top_, atlas.ascent + g->top);
                ink_bottom_ = std::max(ink_bottom_, atlas.ascent + g->top + g->height);
            }
        if (ink_top_ >= ink_bottom_)
            ink_top_ = 0, ink_bottom_ = atlas.line_height;
    }

    // What a number drawn in the line `box` inks: the space a line leaves
    // above and below digits is no part of it, so that values stacked along
    // an axis seen end-on are kept apart by what a reader sees.
    Box ink(const Box& box) const { return Box{box.x0, box.y0 + ink_top_, box.x1, box.y0 + ink_bottom_}; }

    // The box of `text` with its top-left at (x, y).
    Box box_at(std::u32string_view text, int x, int y) const
    {
        return Box{x, y, x + text_width(atlas_, text), y + atlas_.line_height};
    }

    // Whether `box` is inside the picture and `gap()` clear of every text.
    bool fits(const Box& box) const
    {
        if (atlas_.empty() || box.x0 < 0 || box.y0 < 0 || box.x1 > width_ || box.y1 > height_)
            return false;
        for (const PlacedText& t : texts_)
            if (box.overlaps(Box{t.x0, t.y0, t.x1, t.y1}, gap()))
                return false;
        return true;
    }

    // Later texts stay above row `y`: the status band is the status line's.
    void keep_above(int y) { height_ = std::min(height_, y); }

    // The least room between two texts: a few pixels, more for larger type.
    int gap() const { return std::max(3, atlas_.line_height / 5); }

    // Places `text` in `box` unless it overlaps or leaves the picture.
    bool place(const std::string& text, const Box& box, TextRole role) { return place(text, box, box, role); }
    // Places the number `text` in the line `box`, where its ink is clear.
    bool place_number(const std::string& text, const Box& box, TextRole role)
    {
        return place(text, box, ink(box), role);
    }
    // Draws `text` in the line `box`, keeping `kept` as what it takes.
    bool place(const std::string& text, const Box& box, const Box& kept, TextRole role)
    {
        if (!fits(kept))
            return false;
        texts_.push_back(PlacedText{text, kept.x0, kept.y0, kept.x1, kept.y1, role});
        int pen = box.x0;
        const int baseline = box.y0 + atlas_.ascent;
        for (char32_t c : utf8_characters(text)) {
            const AtlasGlyph* g = atlas_.find(c);
            if (!g)
                continue;
            if (c == U' ') { // nothing to draw
                pen += g->advance;
                continue;
            }
            const int x = pen + g->left, y = baseline + g->top;
            outlines_.push_back(ScreenQuad{x, y, x + g->width, y + g->height, g->outline_x, g->outline_y,
                                           kOutlineColour, kOutlineColour, false});
            glyphs_.push_back(ScreenQuad{x, y, x + g->width, y + g->height, g->plain_x, g->plain_y, kGlyphColour,
                                         kGlyphColour, false});
            pen += g->advance;
        }
        return true;
    }

    // The box of `text` centred on (x, y).
    Box box_centred(const std::string& text, double x, double y) const
    {
        const std::u32string characters = utf8_characters(text);
        return box_at(characters, static_cast<int>(std::lround(x - text_width(atlas_, characters) / 2.0)),
                      static_cast<int>(std::lround(y - atlas_.line_height / 2.0)));
    }

    // `text` centred on the point, if it has a place.
    bool place_centred(const std::string& text, PixelPoint at, TextRole role)
    {
        return at.placed && place(text, box_centred(text, at.x, at.y), role);
    }

    void finish(PictureOverlay* overlay)
    {
        overlay->quads.insert(overlay->quads.end(), outlines_.begin(), outlines_.end());
        overlay->quads.insert(overlay->quads.end(), glyphs_.begin(), glyphs_.end());
        overlay->texts = std::move(texts_);
    }

    const GlyphAtlas& atlas() const { return atlas_; }
    const std::vector<PlacedText>& texts() const { return texts_; }

private:
    const GlyphAtlas& atlas_;
    int width_, height_;
    int ink_top_, ink_bottom_;
    std::vector<PlacedText> texts_;
    std::vector<ScreenQuad> outlines_, glyphs_;
};

// The bar: a dark frame; the top row exactly level 1 and the bottom row
// level 0; between them bands of a few rows, each shaded between the
// colour map's colours at its edges. Rows of their own would cost a
// triangle setup per row every frame.
void add_scale_bar(const OverlayScene& scene, const BarBox& bar, PictureOverlay* overlay)
{
    auto solid = [&](int y0, int y1, uint32_t top, uint32_t bottom) {
        overlay->quads.push_back(ScreenQuad{bar.x0, y0, bar.x1, y1, 0, 0, top, bottom, true});
    };
    // The frame as four edges: a quad under the whole bar would blend
    // every pixel twice.
    const int edges[4][4] = {{bar.x0 - 1, bar.y0 - 1, bar.x1 + 1, bar.y0},
                             {bar.x0 - 1, bar.y1, bar.x1 + 1, bar.y1 + 1},
                             {bar.x0 - 1, bar.y0, bar.x0, bar.y1},
                             {bar.x1, bar.y0, bar.x1 + 1, bar.y1}};
    for (const auto& [x0, y0, x1, y1] : edges) {
        ScreenQuad edge{x0, y0, x1, y1, 0, 0, kBarFrameColour, kBarFrameColour, true};
        overlay->quads.push_back(edge);
    }
    const int rows = bar.y1 - bar.y0;
    if (rows < 2)
        return;
    // The level at a row's centre (y a whole number) or between rows.
    auto colour_at = [&](double y) {
        return colour_map_colour(scene.colour_map, std::clamp((bar.y1 - 1 - y) / (rows - 1), 0.0, 1.0));
    };
    solid(bar.y0, bar.y0 + 1, colour_at(bar.y0), colour_at(bar.y0));
    for (int y = bar.y0 + 1; y < bar.y1 - 1; y += kBarBand) {
        const int end = std::min(y + kBarBand, bar.y1 - 1);
        solid(y, end, colour_at(y - 0.5), colour_at(end - 0.5));
    }
    solid(bar.y1 - 1, bar.y1, colour_at(bar.y1 - 1), colour_at(bar.y1 - 1));
}

} // namespace

double scale_value(const OverlayScene& scene, double level)
{
    if (scene.log_scale)
        return weight_at_log_height(level, scene.max_weight);
    return scene.scale_foot + level * (scene.max_weight - scene.scale_foot);
}

MapShape map_shape(const OverlayScene& scene)
{
    return MapShape{scene.scale_foot, scene.log_x, scene.log_y, scene.equal_aspect};
}

namespace {

// A value's row on the bar: level 0 on the bottom row, 1 on the top one.
double bar_row(const BarBox& bar, double level) { return bar.y1 - 1 - (bar.y1 - 1 - bar.y0) * level; }

// The scale's values: round ticks along a linear scale; on a log scale 0
// and the powers of ten, with 2 and 5 times them where they all fit.
struct ScaleTicks {
    std::vector<double> values;
    std::vector<std::string> texts;
    std::string factor;
};

ScaleTicks scale_ticks(const OverlayScene& scene, double rows, double least_apart)
{
    ScaleTicks ticks;
    const double top = scene.max_weight, foot = scene.scale_foot;
    auto apart = [&](const std::vector<double>& values) {
        for (size_t k = 1; k < values.size(); ++k)
            if ((scene.log_scale ? log_height(values[k], top) - log_height(values[k - 1], top)
                                 : (values[k] - values[k - 1]) / (top - foot)) *
                    rows <
                least_apart)
                return false;
        return true;
    };
    if (scale_in_decades(top, scene.log_scale)) {
        for (const bool thirds : {true, false}) {
            std::vector<double> values{0};
            for (double decade = 1; decade <= top; decade *= 10)
                for (double m : {1.0, 2.0, 5.0})
                    if ((m == 1 || thirds) && m * decade <= top)
                        values.push_back(m * decade);
            if (apart(values) || !thirds) {
                // Crowded decades at the foot give way to those above them.
                while (values.size() > 2 && !apart(values))
                    values.erase(values.begin() + 1);
                ticks.values = values;
                break;
            }
        }
        for (double v : ticks.values)
            ticks.texts.push_back(std::to_string(static_cast<long long>(v)));
        return ticks;
    }
    // A flat field of means reads its one value at the foot.
    if (!(top > foot)) {
        ticks.values = {foot};
        ticks.texts = {significant_text(foot)};
        return ticks;
    }
    for (int coarser = 0;; ++coarser) {
        const AxisTicks axis = round_ticks(foot, top, kMostTicks, coarser);
        std::vector<double> values;
        for (int k = 0; k < axis.count; ++k)
            values.push_back(axis.value(k));
        if (axis.count <= 2 || apart(values)) {
            TickLabels labels = tick_labels(axis);
            ticks.values = std::move(values);
            ticks.texts = std::move(labels.texts);
            ticks.factor = std::move(labels.factor);
            return ticks;
        }
    }
}

// The values stand left of the bar, clear of the picture's edge; in the
// map right of it, clear of the square's x values.
void add_scale_labels(const OverlayScene& scene, const BarBox& bar, Layout* layout)
{
    const GlyphAtlas& atlas = layout->atlas();
    const int gap = layout->gap();
    const ScaleTicks ticks = scale_ticks(scene, bar.y1 - 1 - bar.y0, atlas.line_height + gap);
    const std::string unit =
        (scene.scale_title.empty() ? text(TextId::height_scale_unit) : std::string(scene.scale_title)) +
        (ticks.factor.empty() ? "" : " (\xC3\x97" + ticks.factor + ")");
    const std::u32string unit_characters = utf8_characters(unit);
    // Clear of the highest value, which may be centred on the top row.
    const int unit_width = text_width(atlas, unit_characters);
    const int unit_x = scene.map_view ? std::min(bar.x0, int(scene.width) - gap - unit_width) : bar.x1 - unit_width;
    layout->place(unit, layout->box_at(unit_characters, unit_x, bar.y0 - gap - atlas.line_height * 3 / 2),
                  TextRole::scale_unit);
    for (size_t k = 0; k < ticks.values.size(); ++k) {
        const double span = scene.max_weight - scene.scale_foot;
        const double level = scene.log_scale ? log_height(ticks.values[k], scene.max_weight)
            : span > 0                       ? (ticks.values[k] - scene.scale_foot) / span
                                             : 0.0;
        const std::u32string characters = utf8_characters(ticks.texts[k]);
        const int row = int(std::lround(bar_row(bar, level)));
        const int x = scene.map_view ? bar.x1 + gap : bar.x0 - gap - text_width(atlas, characters);
        layout->place(ticks.texts[k], layout->box_at(characters, x, row - atlas.line_height / 2),
                      TextRole::scale_value);
    }
}

// One axis's ticks and values along an edge: the finest round step whose
// values all stand clear of each other, of the texts placed before and of
// the picture's edges; where none does, the finest whose values are clear
// of each other, with those that have no place left out.
struct AxisEdge {
    double low, high;                             // the values at the edge's ends
    PixelPoint (*at)(const void*, double, float); // the edge's point at a part of its length, `out` off it
    const void* context;
    TextRole role;
    bool log = false; // the edge runs evenly in the logarithm of the values
    // The opposite edge likewise, ticked at the same values without them;
    // null for none.
    PixelPoint (*across)(const void*, double, float) = nullptr;
    double beyond = 0; // pixels more between a tick's tip and its value
};

std::string add_axis(const AxisEdge& edge, Layout* layout, std::vector<ScreenLine>* lines)
{
    struct Mark {
        double part;
        PixelPoint foot, tip;
        Box box;
    };
    const GlyphAtlas& atlas = layout->atlas();
    const float stroke = tick_stroke(atlas);
    auto marks_for = [&](const std::vector<double>& values, const TickLabels& labels) {
        std::vector<Mark> marks;
        for (size_t k = 0; k < values.size(); ++k) {
            const double part = edge.log ? std::log10(values[k] / edge.low) / std::log10(edge.high / edge.low)
                                         : (values[k] - edge.low) / (edge.high - edge.low);
            const PixelPoint foot = edge.at(edge.context, part, 0), tip = edge.at(edge.context, part, kTickLength);
            if (!foot.placed || !tip.placed)
                return std::vector<Mark>{};
            // The value beyond the tick's tip, along the tick, its box a gap
            // from the tip whichever way the tick points.
            double dx = tip.x - foot.x, dy = tip.y - foot.y;
            const double length = std::hypot(dx, dy);
            dx = length > 0.5 ? dx / length : 0;
            dy = length > 0.5 ? dy / length : 1;
            const Box box = layout->box_centred(labels.texts[size_t(k)], 0, 0);
            const double reach = std::fabs(dx) * (box.x1 - box.x0) / 2 + std::fabs(dy) * (box.y1 - box.y0) / 2 +
                layout->gap() + edge.beyond;
            marks.push_back(Mark{part, foot, tip,
                                 layout->box_centred(labels.texts[size_t(k)], tip.x + dx * reach, tip.y + dy * reach)});
        }
        return marks;
    };
    auto apart = [&](const std::vector<Mark>& marks) {
        for (size_t a = 0; a < marks.size(); ++a)
            for (size_t b = a + 1; b < marks.size(); ++b)
                if (layout->ink(marks[a].box).overlaps(layout->ink(marks[b].box), layout->gap()))
                    return false;
        return true;
    };
    // A log axis's rungs: fewer ticks allowed each time, down to its ends' powers.
    constexpr int kLogMostTicks[] = {kMostTicks, 8, 6, 5, 4, 3, 2};
    TickLabels chosen_labels;
    std::vector<Mark> chosen_marks;
    bool all_fit = false;
    for (int coarser = 0; !all_fit; ++coarser) {
        std::vector<double> values;
        TickLabels labels;
        if (edge.log) {
            if (coarser == int(std::size(kLogMostTicks)))
                break;
            LogTicks ticks = log_ticks(edge.low, edge.high, kLogMostTicks[coarser]);
            values = std::move(ticks.values);
            labels.texts = std::move(ticks.labels);
        } else {
            const AxisTicks ticks = round_ticks(edge.low, edge.high, kMostTicks, coarser);
            for (int k = 0; k < ticks.count; ++k)
                values.push_back(ticks.value(k));
            labels = tick_labels(ticks);
        }
        if (values.size() < 2)
            break;
        std::vector<Mark> marks = marks_for(values, labels);
        if (marks.empty() || !apart(marks))
            continue;
        all_fit =
            std::all_of(marks.begin(), marks.end(), [&](const Mark& m) { return layout->fits(layout->ink(m.box)); });
        if (all_fit || chosen_marks.empty()) {
            chosen_labels = std::move(labels);
            chosen_marks = std::move(marks);
        }
    }
    for (size_t k = 0; k < chosen_marks.size(); ++k) {
        const Mark& m = chosen_marks[k];
        lines->push_back(ScreenLine{m.foot.x, m.foot.y, m.tip.x, m.tip.y, stroke, kGlyphColour});
        layout->place_number(chosen_labels.texts[k], m.box, edge.role);
        if (!edge.across)
            continue;
        const PixelPoint foot = edge.across(edge.context, m.part, 0),
                         tip = edge.across(edge.context, m.part, kTickLength);
        if (foot.placed && tip.placed)
            lines->push_back(ScreenLine{foot.x, foot.y, tip.x, tip.y, stroke, kGlyphColour});
    }
    return chosen_labels.factor;
}

// The map's names: the x axis's under its values, centred on the square;
// the y axis's above the square over its values' column, clear of the
// top value.
void place_map_titles(const MapFrame& frame, const std::string& x_title, const std::string& y_title, Layout* layout)
{
    const GlyphAtlas& atlas = layout->atlas();
    const int gap = layout->gap();
    int values_bottom = frame.y1, values_left = frame.x0;
    for (const PlacedText& t : layout->texts()) {
        if (t.role == TextRole::x_value)
            values_bottom = std::max(values_bottom, t.y1);
        else if (t.role == TextRole::y_value)
            values_left = std::min(values_left, t.x0);
    }
    const std::u32string x_characters = utf8_characters(x_title), y_characters = utf8_characters(y_title);
    layout->place(
        x_title,
        layout->box_at(x_characters, (frame.x0 + frame.x1 - text_width(atlas, x_characters)) / 2, values_bottom + gap),
        TextRole::x_title);
    layout->place(y_title, layout->box_at(y_characters, values_left, frame.y0 - atlas.line_height * 3 / 2 - 2 * gap),
                  TextRole::y_title);
}

// The values along the edges nearest the eye, and the axes' names further
// out, with the values' common factor. In the map the values stand below
// and left of the square, and its other two edges are ticked alike.
void add_axes(const OverlayScene& scene, const MapFrame& frame, Layout* layout, std::vector<ScreenLine>* lines)
{
    struct Projector {
        Matrix4 view, projection;
        unsigned width, height;
        float x_side, y_side;
        // A tick's reach in box units across x and across y: on a map of
        // unequal sides, so that ticks both ways are as long as on its
        // longer side's square (on the shorter one's a narrow map's would
        // shrink to nothing).
        float x_reach = 1, y_reach = 1;
        PixelPoint at(float x, float y) const { return project_point(view, projection, width, height, x, y, 0); }
    };
    const bool map = scene.map_view;
    const CameraVectors eye = map ? map_camera() : scene.camera;
    const float x_side = !map && eye.eye.x > 0 ? 1.0f : -1.0f, y_side = !map && eye.eye.y > 0 ? 1.0f : -1.0f;
    Projector projector{build_view_matrix(eye.eye, eye.at, eye.up),
                        map ? map_projection(scene.width, scene.height, frame)
                            : framed_projection(scene.camera, scene.width, scene.height),
                        scene.width,
                        scene.height,
                        x_side,
                        y_side};
    const int map_across = frame.x1 - frame.x0, map_up = frame.y1 - frame.y0, map_side = std::max(map_across, map_up);
    if (map && map_across != map_up) {
        projector.x_reach = float(map_side) / float(map_across);
        projector.y_reach = float(map_side) / float(map_up);
    }
    const float x_edge = 0.5f * x_side, y_edge = 0.5f * y_side;
    const Range& r = scene.range;
    using EdgePoint = PixelPoint (*)(const void*, double, float);
    const EdgePoint x_edge_point = [](const void* c, double part, float out) {
        const Projector& p = *static_cast<const Projector*>(c);
        return p.at(float(part) - 0.5f, 0.5f * p.y_side + out * p.y_reach * p.y_side);
    };
    const EdgePoint x_across = [](const void* c, double part, float out) {
        const Projector& p = *static_cast<const Projector*>(c);
        return p.at(float(part) - 0.5f, -0.5f * p.y_side - out * p.y_reach * p.y_side);
    };
    const EdgePoint y_edge_point = [](const void* c, double part, float out) {
        const Projector& p = *static_cast<const Projector*>(c);
        return p.at(0.5f * p.x_side + out * p.x_reach * p.x_side, float(part) - 0.5f);
    };
    const EdgePoint y_across = [](const void* c, double part, float out) {
        const Projector& p = *static_cast<const Projector*>(c);
        return p.at(-0.5f * p.x_side - out * p.x_reach * p.x_side, float(part) - 0.5f);
    };
    // The map's x values stand below the y values' reach, so that the two
    // at the corner they share keep apart.
    const double below_y_values = map ? std::max(0.0, map_value_drop(layout->atlas().line_height, map_side)) : 0.0;
    const AxisEdge x_axis{
        r.x_min,       r.x_max, x_edge_point, &projector, TextRole::x_value, scene.log_x, map ? x_across : nullptr,
        below_y_values};
    const AxisEdge y_axis{
        r.y_min, r.y_max, y_edge_point, &projector, TextRole::y_value, scene.log_y, map ? y_across : nullptr};
    const std::string x_factor = add_axis(x_axis, layout, lines), y_factor = add_axis(y_axis, layout, lines);
    auto title = [](std::string_view name, TextId fallback, const std::string& factor) {
        std::string t = name.empty() ? text(fallback) : std::string(name);
        if (!factor.empty())
            t += " (\xC3\x97" + factor + ")";
        return t;
    };
    const std::string x_title = title(scene.x_title, TextId::axis_x_name, x_factor);
    const std::string y_title = title(scene.y_title, TextId::axis_y_name, y_factor);
    if (map) {
        place_map_titles(frame, x_title, y_title, layout);
        return;
    }
    // Beside the middle of the values; where that has no room (a long name
    // against the scale's column), past either end of the axis, so that a
    // factor the values need is never lost.
    auto place_title = [&](const std::string& title, TextRole role, auto at) {
        for (float offset : kNameOffsets)
            if (layout->place_centred(title, at(0.0f, offset), role))
                return;
        for (float offset : kNameOffsets)
            for (float end : {0.5f, -0.5f})
                if (layout->place_centred(title, at(end + end * offset, kTickLength), role))
                    return;
    };
    place_title(x_title, TextRole::x_title,
                [&](float along, float out) { return projector.at(along, y_edge + out * y_side); });
    place_title(y_title, TextRole::y_title,
                [&](float along, float out) { return projector.at(x_edge + out * x_side, along); });
}

} // namespace

std::u32string overlay_characters(std::string_view caption)
{
    std::string all;
    for (char c = ' '; c <= '~'; ++c)
        all += c;
    for (TextId id :
         {TextId::axis_x_name, TextId::axis_y_name, TextId::height_scale_unit, TextId::status_line_format,
          TextId::status_rejected_format, TextId::status_not_a_number_format, TextId::status_smoothing_format,
          TextId::pointer_readout_format, TextId::pointer_measure_format, TextId::pointer_no_points_format,
          TextId::status_nonpositive_format, TextId::scale_sum_format, TextId::scale_mean_format})
        all += text(id);
    all += "\xE2\x88\x92\xC3\x97"; // the minus and times signs
    all += kEllipsis;
    all += caption;
    return utf8_characters(all);
}

std::string status_line(std::string_view caption, const FieldCounts& counts)
{
    const std::string name(caption), points = format_count(counts.points), in_range = format_count(counts.in_range);
    const int length =
        std::snprintf(nullptr, 0, text(TextId::status_line_format), name.c_str(), points.c_str(), in_range.c_str());
    std::string line(size_t(std::max(length, 0)) + 1, '\0');
    std::snprintf(line.data(), line.size(), text(TextId::status_line_format), name.c_str(), points.c_str(),
                  in_range.c_str());
    line.pop_back();
    // Each count that is not zero, so that every line of the file is
    // accounted for: points in range or not, NaN points, rejected lines.
    const std::pair<long long, TextId> more_counts[] = {{counts.not_a_number, TextId::status_not_a_number_format},
                                                        {counts.nonpositive, TextId::status_nonpositive_format},
                                                        {counts.rejected_lines, TextId::status_rejected_format}};
    for (const auto& [count, format] : more_counts) {
        if (count <= 0)
            continue;
        const std::string number = format_count(count);
        std::string more(std::strlen(text(format)) + number.size() + 1, '\0');
        std::snprintf(more.data(), more.size(), text(format), number.c_str());
        line += more.c_str();
    }
    return line;
}

namespace {

// The status line within `room` pixels: a name too long for it keeps its
// beginning and its end around an ellipsis, as much of both as fits, so
// that the counts always show. Cut between whole UTF-8 characters.
std::string fitted_status_line(const GlyphAtlas& atlas, std::string_view caption, const FieldCounts& counts,
                               double auto_smoothing_cells, std::string_view readout, int room)
{
    std::string more;
    if (auto_smoothing_cells > 0) {
        char width[32], formatted[160];
        std::snprintf(width, sizeof width, "%.1f", auto_smoothing_cells);
        std::snprintf(formatted, sizeof formatted, text(TextId::status_smoothing_format), width);
        more = formatted;
    }
    if (!readout.empty())
        more = more + "   " + std::string(readout);
    const auto status_line = [&](std::string_view name, const FieldCounts& c) { return ::status_line(name, c) + more; };
    std::string line = status_line(caption, counts);
    if (text_width(atlas, utf8_characters(line)) <= room)
        return line;
    std::vector<size_t> starts; // of each character, and the end
    for (size_t i = 0; i < caption.size(); ++i)
        if ((static_cast<unsigned char>(caption[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    starts.push_back(caption.size());
    const size_t characters = starts.size() - 1;
    auto shortened = [&](size_t kept) {
        const size_t head = kept - kept / 2, tail = kept / 2;
        const std::string name = std::string(caption.substr(0, starts[head])) + kEllipsis +
            std::string(caption.substr(starts[characters - tail]));
        return status_line(name, counts);
    };
    // The most characters kept that fit: at least none, fewer than all.
    size_t fits = 0, too_many = characters;
    while (too_many - fits > 1) {
        const size_t kept = (fits + too_many) / 2;
        if (text_width(atlas, utf8_characters(shortened(kept))) <= room)
            fits = kept;
        else
            too_many = kept;
    }
    return shortened(fits);
}

// The map's square framed just outside its edges, as the ticks' lines are drawn.
void add_map_frame(const MapFrame& frame, float stroke, std::vector<ScreenLine>* lines)
{
    const float left = float(frame.x0) - 0.5f - stroke / 2, right = float(frame.x1) - 0.5f + stroke / 2;
    const float top = float(frame.y0) - 0.5f - stroke / 2, bottom = float(frame.y1) - 0.5f + stroke / 2;
    const float reach = stroke / 2; // the corners closed
    lines->push_back(ScreenLine{left - reach, top, right + reach, top, stroke, kGlyphColour});
    lines->push_back(ScreenLine{left - reach, bottom, right + reach, bottom, stroke, kGlyphColour});
    lines->push_back(ScreenLine{left, top, left, bottom, stroke, kGlyphColour});
    lines->push_back(ScreenLine{right, top, right, bottom, stroke, kGlyphColour});
}

// The rectangle being dragged out: white on a dark edge, seen on any colour map.
void add_band(const ScreenBox& box, std::vector<ScreenLine>* lines)
{
    const float x0 = float(box.x0), y0 = float(box.y0), x1 = float(box.x1), y1 = float(box.y1);
    for (const auto& [colour, width] : {std::pair{0xFF000000u, 3.0f}, std::pair{0xFFFFFFFFu, 1.0f}}) {
        const float reach = width / 2;
        lines->push_back(ScreenLine{x0 - reach, y0, x1 + reach, y0, width, colour});
        lines->push_back(ScreenLine{x0 - reach, y1, x1 + reach, y1, width, colour});
        lines->push_back(ScreenLine{x0, y0, x0, y1, width, colour});
        lines->push_back(ScreenLine{x1, y0, x1, y1, width, colour});
    }
}

} // namespace

PictureOverlay lay_out_overlay(const GlyphAtlas& atlas, const OverlayScene& scene)
{
    PictureOverlay overlay;
    if (scene.width < 16 || scene.height < 16)
        return overlay;
    Layout layout(atlas, scene.width, scene.height);
    // Only the map's square and bar are used, in the map view.
    const MapFrame frame =
        map_frame(scene.width, scene.height, scene.range, scene.max_weight, scene.log_scale, true, map_shape(scene));
    const BarBox bar = scene.map_view ? frame.bar : scale_bar_box(scene.width, scene.height);
    const int margin = overlay_pixel_size(scene.height) / 2;
    if (!atlas.empty()) {
        const int band = std::max(status_band_height(scene.height), 2 * margin + atlas.line_height);
        overlay.quads.push_back(ScreenQuad{0, int(scene.height) - band, int(scene.width), int(scene.height), 0, 0,
                                           kStatusBackingColour, kStatusBackingColour, true});
    }
    add_scale_bar(scene, bar, &overlay);
    if (scene.band)
        add_band(*scene.band, &overlay.lines);
    if (scene.map_view && !atlas.empty())
        add_map_frame(frame, tick_stroke(atlas), &overlay.lines);
    // The status line and the scale come first: the axes' values give way.
    const std::string counted = fitted_status_line(atlas, scene.caption, scene.counts, scene.auto_smoothing_cells,
                                                   scene.readout, int(scene.width) - 2 * margin);
    // Where the counts and the pointer's readout do not fit together, the
    // readout, asked for just now, takes the line.
    const std::string status =
        !scene.readout.empty() && text_width(atlas, utf8_characters(counted)) > int(scene.width) - 2 * margin
        ? std::string(scene.readout)
        : counted;
    layout.place(status, layout.box_at(utf8_characters(status), margin, int(scene.height) - margin - atlas.line_height),
                 TextRole::status);
    layout.keep_above(int(scene.height) - status_band_height(scene.height));
    add_scale_labels(scene, bar, &layout);
    if (!atlas.empty())
        add_axes(scene, frame, &layout, &overlay.lines);
    layout.finish(&overlay);
    return overlay;
}

size_t overlay_quad_count(const PictureOverlay& overlay)
{
    const size_t quads = overlay.lines.size() + overlay.quads.size();
    return quads * 4 <= 65536 ? quads : 0;
}

bool write_overlay(std::span<OverlayVertex> vertices, std::span<uint16_t> indices, const PictureOverlay& overlay,
                   const GlyphAtlas& atlas)
{
    const size_t quads = overlay_quad_count(overlay);
    if (quads == 0 || vertices.size() != 4 * quads || indices.size() != 6 * quads || atlas.width == 0)
        return false;
    const float to_u = 1.0f / float(atlas.width), to_v = 1.0f / float(atlas.height);
    // The solid cell's middle texel, for every corner of a solid quad.
    const float solid_u = (float(atlas.solid_x) + 1.5f) * to_u, solid_v = (float(atlas.solid_y) + 1.5f) * to_v;
    const uint16_t corners[6] = {0, 1, 2, 1, 3, 2};
    auto add_indices = [&](size_t k) {
        for (int c = 0; c < 6; ++c)
            indices[6 * k + size_t(c)] = uint16_t(4 * k + corners[c]);
    };
    const size_t line_count = overlay.lines.size();
    for (size_t k = 0; k < line_count; ++k) {
        // A line is a quad half its width either side of the segment.
        const ScreenLine& l = overlay.lines[k];
        const float length = std::hypot(l.x1 - l.x0, l.y1 - l.y0);
        const float nx = length > 0 ? -(l.y1 - l.y0) / length * l.width / 2 : 0;
        const float ny = length > 0 ? (l.x1 - l.x0) / length * l.width / 2 : 0;
        OverlayVertex* v = &vertices[4 * k];
        v[0] = OverlayVertex{l.x0 + nx, l.y0 + ny, 0.0f, 1.0f, l.color, solid_u, solid_v};
        v[1] = OverlayVertex{l.x1 + nx, l.y1 + ny, 0.0f, 1.0f, l.color, solid_u, solid_v};
        v[2] = OverlayVertex{l.x0 - nx, l.y0 - ny, 0.0f, 1.0f, l.color, solid_u, solid_v};
        v[3] = OverlayVertex{l.x1 - nx, l.y1 - ny, 0.0f, 1.0f, l.color, solid_u, solid_v};
        add_indices(k);
    }
    for (size_t k = line_count; k < quads; ++k) {
        const ScreenQuad& q = overlay.quads[k - line_count];
        // Pixel centres lie on whole coordinates: the quad's edges half a
        // pixel out, and texel u0 + i at pixel x0 + i.
        const float left = float(q.x0) - 0.5f, right = float(q.x1) - 0.5f;
        const float top = float(q.y0) - 0.5f, bottom = float(q.y1) - 0.5f;
        const float u0 = q.solid ? solid_u : float(q.u0) * to_u,
                    u1 = q.solid ? solid_u : float(q.u0 + q.x1 - q.x0) * to_u;
        const float v0 = q.solid ? solid_v : float(q.v0) * to_v,
                    v1 = q.solid ? solid_v : float(q.v0 + q.y1 - q.y0) * to_v;
        OverlayVertex* v = &vertices[4 * k];
        v[0] = OverlayVertex{left, top, 0.0f, 1.0f, q.color, u0, v0};
        v[1] = OverlayVertex{right, top, 0.0f, 1.0f, q.color, u1, v0};
        v[2] = OverlayVertex{left, bottom, 0.0f, 1.0f, q.bottom_color, u0, v1};
        v[3] = OverlayVertex{right, bottom, 0.0f, 1.0f, q.bottom_color, u1, v1};
        add_indices(k);
    }
    return true;
}

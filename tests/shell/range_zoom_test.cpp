// Exploring the plot with the mouse, driven by real Qt events: a rectangle
// dragged over the map and the wheel bin the data again over the new range,
// Backspace and Alt+Right walk the ranges, P frames the highest peak, and
// the status line reads the point under the pointer, checked against the
// grid the loader gives for the same range.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>

#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>

#include "field/field_loader.h"
#include "field/peak_region.h"
#include "render/text/map_frame.h"
#include "resources/resource_ids.h"
#include "shell/control_panel.h"
#include "shell/picture_menu.h"
#include "shell/picture_view.h"
#include "shell/pointer_readout.h"
#include "shell/range_history.h"
#include "shell/range_zoom.h"
#include "resources/texts.h"
#include "viewer_test_support.h"

namespace {

using namespace viewer_test;

class RangeZoomTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        start();
        // One clear peak over a thin spread of points.
        std::mt19937 random(7);
        std::normal_distribution<double> near(0.0, 150.0);
        std::uniform_real_distribution<double> anywhere(0.0, 4000.0);
        std::string text;
        for (int k = 0; k < 4000; ++k)
            text += std::to_string(2600 + near(random)) + " " + std::to_string(1400 + near(random)) + "\n";
        for (int k = 0; k < 3000; ++k)
            text += std::to_string(anywhere(random)) + " " + std::to_string(anywhere(random)) + "\n";
        data_ = write_file("peak.txt", text);
        load_range({0, 4000, 0, 4000});
    }
    void load_range(const Range& r)
    {
        show_plot_range(panel_, r);
        load_data_from(panel_, data_.c_str());
        run();
    }
    void to_map()
    {
        if (!state_->settings.map_view)
            choose_picture_item(state_, IDM_MAP_VIEW);
        run();
    }
    void send_mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QWidget* widget = win32_widget_of(area_);
        QMouseEvent event(type, at, widget->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
        event.setTimestamp(next_timestamp());
        QApplication::sendEvent(widget, &event);
        run();
    }
    void hover(QPoint at) { send_mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton); }
    void drag(QPoint from, QPoint to)
    {
        send_mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        send_mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        send_mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        send_mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    void wheel(QPoint at, int delta)
    {
        QWidget* widget = win32_widget_of(area_);
        QWheelEvent event(QPointF(at), widget->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        event.setTimestamp(next_timestamp());
        QApplication::sendEvent(widget, &event);
        run();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(win32_widget_of(area_), k, modifiers);
        run();
    }
    Range shown_range()
    {
        return Range{number(IDC_X_MIN_SPIN), number(IDC_X_MAX_SPIN), number(IDC_Y_MIN_SPIN), number(IDC_Y_MAX_SPIN)};
    }
    // The map's square as the picture lays it out, and the range's point at
    // a pixel's centre there.
    MapFrame frame(bool log_scale = false)
    {
        RECT client;
        GetClientRect(area_, &client);
        const FieldView view = density_field_view(state_->field);
        return map_frame(unsigned(client.right), unsigned(client.bottom), view.range, view.max, log_scale, true);
    }
    std::pair<double, double> at_pixel(const MapFrame& f, const Range& r, QPoint p)
    {
        const double side = f.x1 - f.x0;
        return {r.x_min + (p.x() - f.x0 + 0.5) / side * (r.x_max - r.x_min),
                r.y_min + (f.y1 - 0.5 - p.y()) / side * (r.y_max - r.y_min)};
    }
    // Whether the range items of the render area's menu let `command` be picked.
    bool can_pick(UINT command)
    {
        HMENU menu = CreatePopupMenu();
        append_range_items(menu, state_);
        win32_script_popup_menu(command);
        const BOOL picked = TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, area_, nullptr);
        DestroyMenu(menu);
        return picked == BOOL(command);
    }
    // The loader's grid over the range, as varnel-cli grid bins it.
    LoadedField loader_grid(const Range& r)
    {
        LoadRequest request;
        request.path = data_;
        request.range = r;
        return load_field(request);
    }

    fs::path data_;
};

TEST_F(RangeZoomTest, ADragOverTheMapBinsItsRectangleAndBackspaceComesBack)
{
    to_map();
    const QImage before = picture();
    const Range first = shown_range();
    const MapFrame f = frame();
    const struct {
        QPoint from, to;
    } drags[] = {
        {{f.x0 + 30, f.y0 + 40}, {f.x0 + 150, f.y0 + 100}},
        {{f.x1 - 10, f.y1 - 20}, {f.x0 + 20, f.y0 + 15}},
        {{f.x0 + 60, f.y0 + 60}, {f.x0 + 66, f.y0 + 67}}, // small, but a rectangle
        {{f.x0 + 40, f.y0 + 40}, {f.x1 + 20, f.y1 + 20}}, // past the square: held to its edges
    };
    for (const auto& d : drags) {
        const Range r = shown_range();
        const MapFrame square = frame();
        const auto held = [&r](std::pair<double, double> p) {
            return std::pair{std::clamp(p.first, r.x_min, r.x_max), std::clamp(p.second, r.y_min, r.y_max)};
        };
        const auto [x0, y0] = held(at_pixel(square, r, d.from));
        const auto [x1, y1] = held(at_pixel(square, r, d.to));
        drag(d.from, d.to);
        const Range zoomed = shown_range();
        const double pixel_x = (r.x_max - r.x_min) / (square.x1 - square.x0);
        const double pixel_y = (r.y_max - r.y_min) / (square.y1 - square.y0);
        EXPECT_NEAR(zoomed.x_min, std::min(x0, x1), pixel_x);
        EXPECT_NEAR(zoomed.x_max, std::max(x0, x1), pixel_x);
        EXPECT_NEAR(zoomed.y_min, std::min(y0, y1), pixel_y);
        EXPECT_NEAR(zoomed.y_max, std::max(y0, y1), pixel_y);
        EXPECT_EQ(density_field_view(state_->field).range, zoomed); // binned over it
        // Its ends read as short decimals: no more digits than a drag can say.
        for (int edit : {IDC_X_MIN_EDIT, IDC_X_MAX_EDIT, IDC_Y_MIN_EDIT, IDC_Y_MAX_EDIT})
            EXPECT_LE(field_text(edit).size(), 7u) << field_text(edit);
    }
    const QImage twice = picture();
    EXPECT_NE(twice, before);
    for (size_t k = 0; k < std::size(drags); ++k)
        key(Qt::Key_Backspace);
    EXPECT_EQ(shown_range(), first);
    EXPECT_EQ(picture(), before);
    key(Qt::Key_Backspace); // nothing further back
    EXPECT_EQ(shown_range(), first);
    for (size_t k = 0; k < std::size(drags); ++k)
        key(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(picture(), twice);
    EXPECT_FALSE(can_pick(IDM_RANGE_FORWARD)) << "at the last step";
    EXPECT_TRUE(can_pick(IDM_RANGE_BACK));
    key(Qt::Key_Left, Qt::AltModifier);
    EXPECT_NE(shown_range(), first);
    EXPECT_TRUE(can_pick(IDM_RANGE_FORWARD));
    // The menu's items walk as the keys do.
    const Range one_back = shown_range();
    choose_menu_item(IDM_RANGE_FORWARD);
    EXPECT_EQ(picture(), twice);
    choose_menu_item(IDM_RANGE_BACK);
    EXPECT_EQ(shown_range(), one_back);
    // A click is no rectangle.
    const Range clicked = shown_range();
    drag({f.x0 + 50, f.y0 + 50}, {f.x0 + 51, f.y0 + 50});
    EXPECT_EQ(shown_range(), clicked);
    // Once let go, the band is gone: a move and a button let go again zoom nothing.
    hover({f.x0 + 120, f.y0 + 120});
    send_mouse(QEvent::MouseButtonRelease, {f.x0 + 120, f.y0 + 120}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(shown_range(), clicked);
}

// A step of another file, over the same range too, is a step of its own:
// walking to it reads that file again, and walking on reads the other. A
// step binned again by another rule keeps the rule its field was binned
// by, so that a walk never shows a field of the rule left; and a load
// clears what the pointer read of the field before.
TEST_F(RangeZoomTest, StepsKeepTheirFileAndRule)
{
    to_map();
    const Range whole = shown_range();
    const QImage peak = picture();
    const MapFrame f = frame();
    hover(QPoint((f.x0 + f.x1) / 2, (f.y0 + f.y1) / 2));
    ASSERT_NE(state_->readout, "");
    const fs::path other = write_file("line.txt", "100 100\n3000 3500\n2000 1000\n");
    load_data_from(panel_, other.c_str());
    run();
    EXPECT_EQ(state_->readout, "") << "the reading of the field left behind";
    const QImage line = picture();
    ASSERT_NE(line, peak);
    key(Qt::Key_Backspace);
    EXPECT_EQ(std::string(state_->data_file), data_.string());
    EXPECT_EQ(shown_range(), whole);
    EXPECT_EQ(picture(), peak);
    key(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(std::string(state_->data_file), other.string());
    EXPECT_EQ(picture(), line);
    ASSERT_EQ(state_->history.steps.size(), 2u) << "walking adds no step";
    EXPECT_EQ(state_->history.at, 1u);
    key(Qt::Key_Backspace);
    // A zoomed step binned by the classic rule, left, and the bilinear rule
    // taken again: walking to it bins it again rather than show its field.
    const Range zoomed{2000, 3200, 800, 2000};
    load_range(zoomed);
    const QImage bilinear = picture();
    choose_picture_item(state_, IDM_CLASSIC_BINNING);
    run();
    ASSERT_NE(picture(), bilinear);
    key(Qt::Key_Backspace);
    choose_picture_item(state_, IDM_CLASSIC_BINNING);
    run();
    key(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(shown_range(), zoomed);
    EXPECT_EQ(picture(), bilinear);
}

TEST_F(RangeZoomTest, AWheelNotchScalesTheRangeAboutThePointer)
{
    to_map();
    const MapFrame f = frame();
    const QPoint at(f.x0 + (f.x1 - f.x0) / 3, f.y0 + (f.y1 - f.y0) / 4);
    for (const int delta : {WHEEL_DELTA, WHEEL_DELTA, -WHEEL_DELTA, 2 * WHEEL_DELTA}) {
        SCOPED_TRACE(delta);
        const Range r = shown_range();
        const MapFrame square = frame();
        const auto [x, y] = at_pixel(square, r, at);
        wheel(at, delta);
        const Range z = shown_range();
        const double factor = std::pow(1.25, -delta / double(WHEEL_DELTA));
        EXPECT_NEAR(z.x_max - z.x_min, (r.x_max - r.x_min) * factor, 1e-6 * (r.x_max - r.x_min));
        EXPECT_NEAR(z.y_max - z.y_min, (r.y_max - r.y_min) * factor, 1e-6 * (r.y_max - r.y_min));
        // About the point under the pointer, to a pixel: each end's distance from it scaled.
        const double pixel = (r.x_max - r.x_min) / (square.x1 - square.x0);
        EXPECT_NEAR(x - z.x_min, (x - r.x_min) * factor, pixel);
        EXPECT_NEAR(z.x_max - x, (r.x_max - x) * factor, pixel);
        EXPECT_NEAR(y - z.y_min, (y - r.y_min) * factor, pixel);
        EXPECT_NEAR(z.y_max - y, (r.y_max - y) * factor, pixel);
    }
    // Half notches, as a touchpad sends them, add up to one.
    const Range r = shown_range();
    wheel(at, WHEEL_DELTA / 2);
    EXPECT_EQ(shown_range(), r);
    wheel(at, WHEEL_DELTA / 2);
    EXPECT_NEAR(shown_range().x_max - shown_range().x_min, (r.x_max - r.x_min) / 1.25, 1e-6 * (r.x_max - r.x_min));
}

// "x 2,345.6, y 1,234.5: 12.25 points, height 12.25": the numbers, with
// their commas and true minus signs read back.
std::vector<double> numbers_in(const std::string& line)
{
    std::string plain;
    for (size_t k = 0; k < line.size(); ++k) {
        if (line.compare(k, 3, "\xE2\x88\x92") == 0) {
            plain += '-';
            k += 2;
        } else if (line[k] != ',' || k + 1 >= line.size() || !std::isdigit(static_cast<unsigned char>(line[k + 1]))) {
            plain += line[k];
        }
    }
    std::vector<double> found;
    for (size_t k = 0; k < plain.size();) {
        size_t used = 0;
        if (std::isdigit(static_cast<unsigned char>(plain[k])) || plain[k] == '-') {
            try {
                found.push_back(std::stod(plain.substr(k), &used));
            } catch (...) {
                used = 1;
            }
            k += std::max<size_t>(used, 1);
        } else {
            ++k;
        }
    }
    return found;
}

// The history as the viewer records it: each load a step, left fields kept
// for the steps nearest the one shown, the steps ahead dropped by a new one.
TEST(RangeHistory, KeepsTheNearestFieldsAndDropsTheStepsAhead)
{
    AppState state{};
    RangeHistory& h = state.history;
    const auto range = [](int k) { return Range{0, 100.0 + k, 0, 100}; };
    // A new step leaving the field shown before it (none for the first).
    DensityField* shown = nullptr;
    const auto go = [&](int k) {
        DensityField* left = shown;
        shown = create_density_field(range(k));
        record_range_step(&state, "a.txt", range(k), left);
    };
    // Back or forward to step `target`, read again (binned otherwise than
    // the field kept for it, which stays there until the step is left).
    const auto walk = [&](size_t target) {
        DensityField* left = shown;
        shown = create_density_field(h.steps[target].range);
        h.going_to = long(target);
        record_range_step(&state, "a.txt", h.steps[target].range, left);
    };
    const auto kept = [&] {
        std::string held;
        for (const RangeStep& step : h.steps)
            held += step.field ? 'F' : '.';
        return held;
    };
    for (int k = 0; k < 6; ++k)
        go(k);
    EXPECT_EQ(kept(), ".FFFF."); // four fields, the nearest
    state.settings.log_y = true;
    walk(3);
    // Five fields, the farthest two apart: the one ahead goes, as steps
    // back are the more often taken.
    EXPECT_EQ(kept(), ".FFFF.");
    // The step's rule and axes are those it is shown with now.
    EXPECT_EQ(h.steps[3].binning, binned_as(state.settings));
    EXPECT_NE(h.steps[2].binning, binned_as(state.settings));
    // A new step from here drops the two ahead.
    go(100);
    ASSERT_EQ(h.steps.size(), 5u);
    EXPECT_EQ(h.steps[4].range, range(100));
    EXPECT_EQ(h.at, 4u);
    EXPECT_EQ(kept(), ".FFF.");
    // At most kMostSteps: the oldest go.
    for (int k = 0; k < int(kMostSteps); ++k)
        go(200 + k);
    EXPECT_EQ(h.steps.size(), kMostSteps);
    EXPECT_EQ(h.steps.front().range, range(200));
    clear_range_history(&state);
    shown->ops.destroy(shown);
}

// binned_as tells every rule and pair of axes apart.
TEST(RangeHistory, EachRuleAndAxesBinApart)
{
    std::vector<int> seen;
    for (int rule = 0; rule < 2; ++rule)
        for (const bool log_x : {false, true})
            for (const bool log_y : {false, true}) {
                Settings settings{};
                settings.binning = rule;
                settings.log_x = log_x;
                settings.log_y = log_y;
                const int b = binned_as(settings);
                EXPECT_EQ(std::count(seen.begin(), seen.end(), b), 0) << rule << log_x << log_y;
                seen.push_back(b);
            }
}

// The readout's words: x and y with one decimal more than the axis's ticks
// (ticks of 500, of 0.1 and of 0.25), a count whole where it is whole to
// within rounding, two decimals where it is not.
TEST(PointerReadout, OneDecimalMoreThanTheTicks)
{
    // Counts in points; sums and means named as the height scale names
    // them, in four significant digits; a mean no point reached has none.
    const Range whole{0, 4000, 0, 4000};
    const struct {
        Range range;
        double x, y, count, height;
        const char *x_text, *y_text;
        const char *count_text, *height_text; // null: a mean with no points
        const char* measure = nullptr;
    } cases[] = {
        {whole, 2345.62, 1234.54, 12, 12.25, "2,345.6", "1,234.5", "12", "12.25"},
        {{0, 1, -1, 0},
         0.123,
         -0.456,
         12 - 1e-12,
         0.5,
         "0.12",
         "\xE2\x88\x92"
         "0.46",
         "12",
         "0.50"},
        {{0, 2.25, 0, 4000}, 1.23456, 1500, 3.004, 7, "1.235", "1,500.0", "3.00", "7"},
        {whole, 2345.62, 1234.54, 3000, 4, "2,345.6", "1,234.5", "3,000", "4", "mean of b"},
        {whole, 2345.62, 1234.54, 3.14159, 0, "2,345.6", "1,234.5", "3.142", "0", "sum of w"},
        {whole, 2345.62, 1234.54, -0.0123456, 2.5e20, "2,345.6", "1,234.5",
         "\xE2\x88\x92"
         "0.01235",
         "2.5e+20", "mean of b"},
        {whole, 2345.62, 1234.54, NAN, NAN, "2,345.6", "1,234.5", nullptr, nullptr, "mean of b"},
    };
    for (const auto& c : cases) {
        PointUnder point{};
        point.on_surface = true;
        point.range = c.range;
        point.x = c.x;
        point.y = c.y;
        point.count = c.count;
        point.height = c.height;
        point.measure = c.measure;
        char want[200];
        if (!c.measure)
            std::snprintf(want, sizeof want, text(TextId::pointer_readout_format), c.x_text, c.y_text, c.count_text,
                          c.height_text);
        else if (c.count_text)
            std::snprintf(want, sizeof want, text(TextId::pointer_measure_format), c.x_text, c.y_text, c.measure,
                          c.count_text, c.height_text);
        else
            std::snprintf(want, sizeof want, text(TextId::pointer_no_points_format), c.x_text, c.y_text);
        EXPECT_EQ(pointer_readout(point), want);
    }
}

TEST_F(RangeZoomTest, TheStatusLineReadsTheNodeUnderThePointer)
{
    for (const bool map : {true, false}) {
        SCOPED_TRACE(map ? "map" : "camera");
        if (map)
            to_map();
        else
            leave_map_view(state_);
        run();
        const Range r = shown_range();
        const LoadedField grid = loader_grid(r);
        const FieldView view = density_field_view(grid.field.get());
        RECT client;
        GetClientRect(area_, &client);
        int read = 0;
        double most = 0;
        std::set<double> ys; // pixels on other rows read other points
        std::vector<QPoint> pixels = {QPoint(client.right / 2, client.bottom / 2),
                                      QPoint(client.right / 3, client.bottom / 2),
                                      QPoint(client.right / 2 + 20, client.bottom / 3)};
        if (map) {
            // On the peak, where neighbouring nodes differ; then the square's
            // last column and the first beside it.
            const MapFrame f = frame();
            const double side = f.x1 - f.x0;
            const QPoint peak(int(f.x0 + (2600 - r.x_min) / (r.x_max - r.x_min) * side),
                              int(f.y1 - (1400 - r.y_min) / (r.y_max - r.y_min) * side));
            // Nodes stand pixels apart: some of these lie nearer the node above.
            for (const QPoint step : {QPoint(0, 0), QPoint(0, 1), QPoint(0, -1), QPoint(1, 0), QPoint(-1, -2)})
                pixels.push_back(peak + step);
            hover(QPoint(f.x1 - 1, (f.y0 + f.y1) / 2));
            EXPECT_NE(state_->readout, "");
            hover(QPoint(f.x1, (f.y0 + f.y1) / 2));
            EXPECT_EQ(state_->readout, "");
        }
        for (const QPoint p : pixels) {
            hover(p);
            if (state_->readout.empty())
                continue;
            ++read;
            const std::vector<double> n = numbers_in(state_->readout);
            ASSERT_EQ(n.size(), 4u) << state_->readout;
            const int i = int(std::lround((n[0] - r.x_min) / (r.x_max - r.x_min) * (view.nx - 1)));
            const int j = int(std::lround((n[1] - r.y_min) / (r.y_max - r.y_min) * (view.ny - 1)));
            ASSERT_TRUE(i >= 0 && i < view.nx && j >= 0 && j < view.ny);
            EXPECT_NEAR(n[2], view.nodes[j * view.nx + i] * view.max, 0.006) << state_->readout;
            most = std::max(most, n[2]);
            ys.insert(n[1]);
            EXPECT_NEAR(n[3], n[2], 0.006); // no smoothing: drawn as binned
        }
        EXPECT_GE(read, 2);
        EXPECT_GE(ys.size(), 2u);
        if (map) {
            EXPECT_GT(most, 2) << "none read on the peak";
        }
        hover({1, 1}); // beside the surface: nothing
        EXPECT_EQ(state_->readout, "");
        // The pointer leaving the render area takes the readout with it.
        hover(QPoint(client.right / 2, client.bottom / 2));
        EXPECT_NE(state_->readout, "");
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(win32_widget_of(area_), &leave);
        run();
        EXPECT_EQ(state_->readout, "");
    }
}

// On a log x axis the readout's x is where the pixel stands on the
// logarithm's span; on a log height scale its height is still the node's
// count, read back through the scale.
TEST_F(RangeZoomTest, OnLogAxesAndScaleTheReadoutIsInTheDataUnits)
{
    to_map();
    choose_picture_item(state_, IDM_LOG_X);
    choose_picture_item(state_, IDM_LOG_SCALE);
    run();
    const Range r = shown_range();
    ASSERT_GT(r.x_min, 0);
    const MapFrame f = frame(true);
    const double side = f.x1 - f.x0;
    const int row = int(f.y1 - (1400 - r.y_min) / (r.y_max - r.y_min) * side); // through the peak
    double most = 0;
    for (int k = 1; k < 40; ++k) {
        const int x = f.x0 + int(side * k / 40);
        hover(QPoint(x, row));
        const std::vector<double> n = numbers_in(state_->readout);
        ASSERT_EQ(n.size(), 4u) << state_->readout;
        const double u = (x - f.x0 + 0.5) / side;
        EXPECT_NEAR(n[0], r.x_min * std::pow(r.x_max / r.x_min, u), 0.01 * n[0] + 0.1) << state_->readout;
        // y stays linear.
        const double v = 1 - (row - f.y0 + 0.5) / side;
        EXPECT_NEAR(n[1], r.y_min + v * (r.y_max - r.y_min), 0.1) << state_->readout;
        EXPECT_NEAR(n[3], n[2], 0.01 * n[2] + 0.006) << state_->readout;
        most = std::max(most, n[2]);
    }
    EXPECT_GT(most, 2) << "none read on the peak";
}

// Over a field of means the readout gives the node's mean under the
// height scale's name, and says where no point fell.
TEST_F(RangeZoomTest, OverMeansTheReadoutNamesTheMean)
{
    to_map();
    {
        ModalAnswer<QComboBox> answering([](QComboBox* list) {
            const QList<QComboBox*> lists = list->window()->findChildren<QComboBox*>();
            lists[2]->setCurrentIndex(lists[2]->count() - 1); // the mean of b, the last column
            for (QAbstractButton* button : list->window()->findChildren<QAbstractButton*>())
                if (button->text() == "OK")
                    QTest::mouseClick(button, Qt::LeftButton);
        });
        // b is 4.25 on every node of the left half, which nothing else reaches.
        std::string rows = "x,y,b\n";
        for (int x = 0; x <= 2000; x += 20)
            for (int y = 0; y < 4000; y += 20)
                rows += std::to_string(x) + "," + std::to_string(y) + ",4.25\n";
        load_data_from(panel_, write_file("means.csv", rows).c_str());
        run();
    }
    char title[64];
    std::snprintf(title, sizeof title, text(TextId::scale_mean_format), "b");
    const Range r = shown_range();
    // The square as a count's scale lays it out: a mean's labels shift it a
    // few pixels, well inside the halves read.
    const MapFrame f = frame();
    const auto pixel = [&](double x, double y) {
        const double side = f.x1 - f.x0;
        return QPoint(int(f.x0 + (x - r.x_min) / (r.x_max - r.x_min) * side),
                      int(f.y1 - (y - r.y_min) / (r.y_max - r.y_min) * side));
    };
    hover(pixel(1000, 2000));
    EXPECT_NE(state_->readout.find(title), std::string::npos) << state_->readout;
    const std::vector<double> n = numbers_in(state_->readout);
    ASSERT_EQ(n.size(), 4u) << state_->readout;
    EXPECT_EQ(n[2], 4.25);
    EXPECT_EQ(n[3], 4.25);
    hover(pixel(3000, 2000));
    EXPECT_EQ(numbers_in(state_->readout).size(), 2u) << state_->readout;
    EXPECT_EQ(state_->readout.find(title), std::string::npos) << state_->readout;
}

TEST_F(RangeZoomTest, PFramesTheHighestPeakInEitherView)
{
    for (const bool map : {false, true}) {
        SCOPED_TRACE(map ? "map" : "camera");
        load_range({0, 4000, 0, 4000});
        if (map)
            to_map();
        Range expected;
        ASSERT_TRUE(peak_region(density_field_view(loader_grid(shown_range()).field.get()), &expected));
        key(Qt::Key_P);
        const Range z = shown_range();
        EXPECT_NEAR(z.x_min, expected.x_min, 1e-6);
        EXPECT_NEAR(z.x_max, expected.x_max, 1e-6);
        EXPECT_NEAR(z.y_min, expected.y_min, 1e-6);
        EXPECT_NEAR(z.y_max, expected.y_max, 1e-6);
        EXPECT_TRUE(z.x_min < 2600 && 2600 < z.x_max && z.y_min < 1400 && 1400 < z.y_max);
        EXPECT_LT(z.x_max - z.x_min, 1500);
    }
}

} // namespace

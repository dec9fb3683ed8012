// Exploring the plot with the mouse, driven by real Qt events: a rectangle
// dragged over the map and the wheel bin the data again over the new range,
// Backspace and Alt+Right walk the ranges, P frames the highest peak, and
// the status line reads the point under the pointer, checked against the
// grid the loader gives for the same range.
#include <gtest/gtest.h>

#include <QApplication>

#include <QWheelEvent>

#include <cmath>
#include <random>
#include <string>

#include "field/field_loader.h"
#include "field/peak_region.h"
#include "render/text/map_frame.h"
#include "resources/resource_ids.h"
#include "shell/control_panel.h"
#include "shell/picture_menu.h"
#include "shell/picture_view.h"
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
    MapFrame frame()
    {
        RECT client;
        GetClientRect(area_, &client);
        const FieldView view = density_field_view(state_->field);
        return map_frame(unsigned(client.right), unsigned(client.bottom), view.range, view.max, false, true);
    }
    std::pair<double, double> at_pixel(const MapFrame& f, const Range& r, QPoint p)
    {
        const double side = f.x1 - f.x0;
        return {r.x_min + (p.x() - f.x0 + 0.5) / side * (r.x_max - r.x_min),
                r.y_min + (f.y1 - 0.5 - p.y()) / side * (r.y_max - r.y_min)};
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
    } drags[] = {{{f.x0 + 30, f.y0 + 40}, {f.x0 + 150, f.y0 + 100}}, {{f.x1 - 10, f.y1 - 20}, {f.x0 + 20, f.y0 + 15}}};
    for (const auto& d : drags) {
        const Range r = shown_range();
        const MapFrame square = frame();
        const auto [x0, y0] = at_pixel(square, r, d.from);
        const auto [x1, y1] = at_pixel(square, r, d.to);
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
    key(Qt::Key_Backspace);
    key(Qt::Key_Backspace);
    EXPECT_EQ(shown_range(), first);
    EXPECT_EQ(picture(), before);
    key(Qt::Key_Backspace); // nothing further back
    EXPECT_EQ(shown_range(), first);
    key(Qt::Key_Right, Qt::AltModifier);
    key(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(picture(), twice);
    key(Qt::Key_Left, Qt::AltModifier);
    EXPECT_NE(shown_range(), first);
    // A click is no rectangle.
    const Range clicked = shown_range();
    drag({f.x0 + 50, f.y0 + 50}, {f.x0 + 51, f.y0 + 50});
    EXPECT_EQ(shown_range(), clicked);
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
        for (const QPoint p : {QPoint(client.right / 2, client.bottom / 2), QPoint(client.right / 3, client.bottom / 2),
                               QPoint(client.right / 2 + 20, client.bottom / 3)}) {
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
            EXPECT_NEAR(n[3], n[2], 0.006); // no smoothing: drawn as binned
        }
        EXPECT_GE(read, 2);
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

// The viewer's two waits a user feels:
//
//  - StartToFirstFrame: the real build/bin/varnel started on a private Xvfb
//    server, timed from the start of the process until its first frame is
//    on the server's screen (the render area turns from black to the grey it
//    is cleared to, or shows the surface when a file is named). Arguments:
//    0 no file, 1 the example points, 2 the example points and texture.
//  - DataFileOkToFrame: in the program's own windows (offscreen platform),
//    from the moment the file dialog returns a 10-million-point file to the
//    presented frame that shows it.
//  - DragFrames: the same windows with the render area at 1024 x 768, the
//    example points and texture loaded, and a scripted drag: each mouse
//    move turns the camera by two degrees and waits for the frame it causes.
//    The rate is the frames per second a drag gets.
//
//   build/bin/bench_viewer [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "e2e/xvfb_session.h"
#include "platform/d3d9/d3d9_test_hook.h"
#include "platform/win32/win32_test_hooks.h"
#include "resources/program_resources.h"
#include "shell/app_state.h"
#include "shell/main.h"
#include "shell/main_window.h"

namespace {

using namespace xvfb;
using Clock = std::chrono::steady_clock;

fs::path scratch_folder()
{
    const char* tmp = std::getenv("TMPDIR");
    return fs::path(tmp ? tmp : "/tmp");
}

bool render_area_is(const QImage& screen, uint32_t rgb)
{
    return !screen.isNull() && (screen.pixel(50, 50) & 0xffffff) == rgb;
}

void BM_StartToFirstFrame(benchmark::State& state)
{
    fs::path root = scratch_folder() / ("varnel-start-bench-" + std::to_string(getpid()));
    Child server;
    std::string display = start_server(server, root / "fb");
    if (display.empty()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    fs::path examples = fs::path(VARNEL_SOURCE_DIR) / "examples";
    std::vector<std::string> argv = {VARNEL_VIEWER};
    if (state.range(0) >= 1)
        argv.push_back((examples / "points.txt").string());
    if (state.range(0) >= 2)
        argv.push_back((examples / "texture.bmp").string());
    for (auto _ : state) {
        fs::remove_all(root / "config"); // every start is a first start
        auto start = Clock::now();
        Child viewer(argv,
                     {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + (root / "config").string(),
                      "XDG_RUNTIME_DIR=" + root.string()});
        bool shown = false;
        while (!shown && Clock::now() - start < std::chrono::seconds(30)) {
            QImage screen = screen_of(root / "fb");
            shown = state.range(0) == 0 ? render_area_is(screen, 0x808080) : drawn_pixels(screen) > 20000;
            if (!shown)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!shown)
            state.SkipWithError("no frame within 30 s");
        viewer = Child(); // ends it
        wait_until(10, [&] { return render_area_is(screen_of(root / "fb"), 0); });
    }
    server = Child();
    fs::remove_all(root);
}
BENCHMARK(BM_StartToFirstFrame)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Two overlapping clouds in the default range, 24-byte lines.
fs::path big_data_file(long long lines)
{
    fs::path path = scratch_folder() / ("varnel-viewer-bench-" + std::to_string(lines) + ".txt");
    if (fs::exists(path))
        return path;
    std::FILE* out = std::fopen(path.c_str(), "w");
    std::mt19937_64 rng(7);
    std::normal_distribution<double> normal(0.0, 1.0);
    for (long long i = 0; i < lines; ++i) {
        bool first = i % 5 < 3;
        double x = (first ? 1600.0 : 2550.0) + (first ? 450.0 : 330.0) * normal(rng);
        double y = (first ? 1800.0 : 2450.0) + (first ? 420.0 : 520.0) * normal(rng);
        std::fprintf(out, "%011.6f %011.6f\n", x, y);
    }
    std::fclose(out);
    return path;
}

// The program's main window in this process, its dialogs answered by the
// script, shown and drawn once; closed the user's way at the end.
struct ViewerWindow {
    HWND main;
    AppState* app;
    ViewerWindow()
    {
        setenv("XDG_CONFIG_HOME", (scratch_folder() / "varnel-viewer-bench-config").c_str(), 1);
        win32_answer_dialogs_from_script(true);
        main = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCE(IDD_MAIN), nullptr, main_window_proc, 0);
        app = app_state_of(main);
        ShowWindow(main, SW_SHOWNORMAL);
        run_until_frame(1);
    }
    ~ViewerWindow() { SendMessageA(main, WM_CLOSE, 0, 0); }
    // The program's loop until the device has presented `frames` in all.
    void run_until_frame(UINT frames)
    {
        MSG msg;
        while (d3d9_test_call_count(D3D9Call::Present) < frames)
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                offer_message(main, nullptr, &msg);
    }
};

void BM_DataFileOkToFrame(benchmark::State& state)
{
    fs::path data = big_data_file(state.range(0));
    ViewerWindow viewer;
    double command_seconds = 0.0;
    for (auto _ : state) {
        UINT frames = d3d9_test_call_count(D3D9Call::Present);
        win32_script_open_file(data.c_str());
        auto ok = Clock::now(); // the dialog answers at once
        SendMessageA(viewer.app->panel, WM_COMMAND, MAKEWPARAM(IDC_LOAD_DATA, BN_CLICKED), 0);
        command_seconds += std::chrono::duration<double>(Clock::now() - ok).count();
        viewer.run_until_frame(frames + 1);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - ok).count());
    }
    state.counters["points"] = static_cast<double>(state.range(0));
    // The command itself (reading the file, building the geometry); the rest
    // of the time is the frame.
    state.counters["command_ms"] = 1000.0 * command_seconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DataFileOkToFrame)->Arg(10'000'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The main window sized so that the render area is width x height.
bool size_render_area(HWND main, HWND panel, HWND area, int width, int height)
{
    RECT window, client, panel_rect;
    GetWindowRect(main, &window);
    GetClientRect(main, &client);
    GetWindowRect(panel, &panel_rect);
    int frame_width = (window.right - window.left) - client.right;
    int frame_height = (window.bottom - window.top) - client.bottom;
    SetWindowPos(main, nullptr, 0, 0, width + (panel_rect.right - panel_rect.left) + frame_width, height + frame_height,
                 SWP_NOMOVE | SWP_NOZORDER);
    RECT area_rect;
    GetClientRect(area, &area_rect);
    return area_rect.right == width && area_rect.bottom == height;
}

void BM_DragFrames(benchmark::State& state)
{
    fs::path examples = fs::path(VARNEL_SOURCE_DIR) / "examples";
    ViewerWindow viewer;
    if (!size_render_area(viewer.main, viewer.app->panel, viewer.app->render_area, 1024, 768)) {
        state.SkipWithError("the render area did not take 1024 x 768");
        return;
    }
    win32_script_open_file((examples / "points.txt").c_str());
    SendMessageA(viewer.app->panel, WM_COMMAND, MAKEWPARAM(IDC_LOAD_DATA, BN_CLICKED), 0);
    win32_script_open_file((examples / "texture.bmp").c_str());
    SendMessageA(viewer.app->panel, WM_COMMAND, MAKEWPARAM(IDC_LOAD_TEXTURE, BN_CLICKED), 0);
    viewer.run_until_frame(d3d9_test_call_count(D3D9Call::Present) + 1);

    QWidget* area = win32_widget_of(viewer.app->render_area);
    quint64 timestamp = 0;
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, area->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
        event.setTimestamp(++timestamp);
        QApplication::sendEvent(area, &event);
    };
    QPoint at(100, 384);
    send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    // 6 pixels of 1024 are two degrees and a little: even the move that
    // turns back changes the camera, and so makes a frame.
    int step = 6;
    for (auto _ : state) {
        UINT frames = d3d9_test_call_count(D3D9Call::Present);
        if (at.x() + step > 1000 || at.x() + step < 24)
            step = -step; // back and forth inside the area
        at.rx() += step;
        send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        viewer.run_until_frame(frames + 1);
    }
    send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DragFrames)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1); // this process's own windows
    InitWindowSystem(argc, argv);
    SetModuleResources(kProgramResources, 4);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

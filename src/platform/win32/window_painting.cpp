// Painting: which windows are due, the paint DC, and the frames the
// software device presents into a window.
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include <bit>
#include <cstring>

#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

HDC__ g_paint_dc;

} // namespace

void invalidate_tree(Window* w)
{
    if (!w->alive)
        return;
    w->needs_paint = true;
    for (Window* c : w->children)
        invalidate_tree(c);
}

QImage window_picture(Window* w)
{
    QSize size = client_size(w);
    if (size.isEmpty())
        return QImage();
    if (w->frame.size() == size)
        return w->frame.convertToFormat(QImage::Format_RGB32); // readers take 32-bit rows
    return w->widget->grab(QRect(QPoint(0, 0), size)).toImage().convertToFormat(QImage::Format_RGB32);
}

void paint_frame(Window* w, QWidget* widget, QPaintEvent* event)
{
    if (!w || w->frame.isNull())
        return;
    QPainter painter(widget);
    painter.setClipRegion(event->region());
    painter.drawImage(0, 0, w->frame);
}

} // namespace win32

using namespace win32;

void Window::target_present(const void* pixels, UINT width, UINT height, UINT pitch)
{
    if (!alive || !widget || !pixels || width == 0 || height == 0 || width > 16384 || height > 16384 ||
        pitch < width * 4)
        return;
    // The last frame's image is written over when it has this size: a new
    // one each frame is a fresh allocation, whose pages the kernel must
    // clear first (33 MB a frame at 4K). One still shared is copied first,
    // as writing to it detaches it.
    if (frame.width() != static_cast<int>(width) || frame.height() != static_cast<int>(height) ||
        frame.format() != QImage::Format_RGB32)
        frame = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    const auto* src = static_cast<const unsigned char*>(pixels);
    for (UINT row = 0; row < height; ++row) {
        auto* dst = reinterpret_cast<uint32_t*>(frame.scanLine(static_cast<int>(row)));
        const unsigned char* line = src + static_cast<size_t>(row) * pitch;
        for (UINT col = 0; col < width; ++col) {
            const unsigned char* p = line + col * 4;
            // The fourth byte is undefined; the picture is opaque.
            if constexpr (std::endian::native == std::endian::little) {
                uint32_t pixel;
                std::memcpy(&pixel, p, sizeof pixel);
                dst[col] = 0xff000000u | pixel;
            } else {
                dst[col] = 0xff000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
            }
        }
    }
    widget->update();
}

BOOL InvalidateRect(HWND hWnd, const RECT*, BOOL)
{
    if (!hWnd) {
        for (Window* w : all_windows())
            if (w->alive && !(w->style & WS_CHILD))
                invalidate_tree(w);
        return TRUE;
    }
    Window* w = live_window(hWnd);
    if (!w)
        return FALSE;
    w->needs_paint = true;
    return TRUE;
}

BOOL ValidateRect(HWND hWnd, const RECT*)
{
    Window* w = live_window(hWnd);
    if (!w)
        return FALSE;
    w->needs_paint = false;
    return TRUE;
}

BOOL UpdateWindow(HWND hWnd)
{
    Window* w = live_window(hWnd);
    if (!w)
        return FALSE;
    if (w->needs_paint && is_visible(w))
        SendMessageA(w, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    Window* w = live_window(hWnd);
    if (!w || !lpPaint)
        return nullptr;
    std::memset(lpPaint, 0, sizeof *lpPaint);
    lpPaint->hdc = &g_paint_dc;
    QSize size = client_size(w);
    lpPaint->rcPaint = {0, 0, size.width(), size.height()};
    w->needs_paint = false;
    return lpPaint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }

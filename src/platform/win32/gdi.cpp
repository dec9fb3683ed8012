// Device contexts, 32-bit DIB sections and BitBlt from a window: enough to
// read what a window shows.
#include <QImage>

#include <unordered_set>

#include "platform/win32/window_internal.h"

struct HBITMAP__ {
    int width;
    int height;
    bool top_down;
    std::vector<uint32_t> bits;
    HDC selected_into = nullptr;
};

namespace {

// The 1 x 1 bitmap a new memory DC starts with; it is never deleted.
HBITMAP__ g_stock_bitmap{1, 1, true, {0}, nullptr};

std::unordered_set<const void*>& live_objects()
{
    static auto* set = new std::unordered_set<const void*>;
    return *set;
}

HDC live_dc(HDC hdc) { return hdc && live_objects().count(hdc) ? hdc : nullptr; }

HBITMAP live_bitmap(HGDIOBJ object)
{
    if (object == &g_stock_bitmap)
        return &g_stock_bitmap;
    return object && live_objects().count(object) ? static_cast<HBITMAP>(object) : nullptr;
}

HDC new_dc(Window* window)
{
    HDC dc = new HDC__{window, window ? nullptr : &g_stock_bitmap};
    live_objects().insert(dc);
    return dc;
}

void delete_dc(HDC dc)
{
    if (dc->bitmap)
        dc->bitmap->selected_into = nullptr;
    live_objects().erase(dc);
    delete dc;
}

// Pixel (x, y), counted from the top, of a DIB section.
uint32_t& pixel_of(HBITMAP bitmap, int x, int y)
{
    int row = bitmap->top_down ? y : bitmap->height - 1 - y;
    return bitmap->bits[static_cast<size_t>(row) * static_cast<size_t>(bitmap->width) + static_cast<size_t>(x)];
}

} // namespace

HDC GetDC(HWND hWnd)
{
    Window* w = win32::live_window(hWnd);
    return w ? new_dc(w) : nullptr;
}

int ReleaseDC(HWND, HDC hDC)
{
    HDC dc = live_dc(hDC);
    if (!dc || !dc->window)
        return 0;
    delete_dc(dc);
    return 1;
}

HDC CreateCompatibleDC(HDC) { return new_dc(nullptr); }

BOOL DeleteDC(HDC hdc)
{
    HDC dc = live_dc(hdc);
    if (!dc || dc->window)
        return FALSE;
    delete_dc(dc);
    return TRUE;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE hSection, DWORD)
{
    if (ppvBits)
        *ppvBits = nullptr;
    if (!pbmi || hSection || usage != DIB_RGB_COLORS)
        return nullptr;
    const BITMAPINFOHEADER& header = pbmi->bmiHeader;
    long long height = header.biHeight < 0 ? -static_cast<long long>(header.biHeight) : header.biHeight;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 32 ||
        header.biCompression != BI_RGB || header.biWidth <= 0 || height == 0 || header.biWidth > 32768 ||
        height > 32768)
        return nullptr;
    auto* bitmap = new HBITMAP__{static_cast<int>(header.biWidth), static_cast<int>(height), header.biHeight < 0,
                                 std::vector<uint32_t>(static_cast<size_t>(header.biWidth) * height), nullptr};
    live_objects().insert(bitmap);
    if (ppvBits)
        *ppvBits = bitmap->bits.data();
    return bitmap;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h)
{
    HDC dc = live_dc(hdc);
    HBITMAP bitmap = live_bitmap(h);
    // A bitmap goes into one memory DC at a time.
    if (!dc || dc->window || !bitmap || (bitmap->selected_into && bitmap->selected_into != dc))
        return nullptr;
    HBITMAP previous = dc->bitmap;
    previous->selected_into = nullptr;
    dc->bitmap = bitmap;
    if (bitmap != &g_stock_bitmap)
        bitmap->selected_into = dc;
    return previous;
}

BOOL DeleteObject(HGDIOBJ ho)
{
    HBITMAP bitmap = live_bitmap(ho);
    if (bitmap == &g_stock_bitmap)
        return TRUE;
    if (!bitmap || bitmap->selected_into)
        return FALSE;
    live_objects().erase(bitmap);
    delete bitmap;
    return TRUE;
}

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    HDC target = live_dc(hdc);
    HDC source = live_dc(hdcSrc);
    if (!target || !target->bitmap || target->bitmap == &g_stock_bitmap || !source || rop != SRCCOPY)
        return FALSE;
    // Windows are the only sources the program reads.
    Window* window = win32::live_window(source->window);
    if (!window)
        return FALSE;
    QImage picture = win32::window_picture(window);
    HBITMAP bitmap = target->bitmap;
    for (int row = 0; row < cy; ++row) {
        int ty = y + row, sy = y1 + row;
        if (ty < 0 || ty >= bitmap->height)
            continue;
        const auto* line =
            sy >= 0 && sy < picture.height() ? reinterpret_cast<const uint32_t*>(picture.constScanLine(sy)) : nullptr;
        // Outside the window's client area there is nothing to copy.
        for (int column = 0; line && column < cx; ++column) {
            int tx = x + column, sx = x1 + column;
            if (tx >= 0 && tx < bitmap->width && sx >= 0 && sx < picture.width())
                pixel_of(bitmap, tx, ty) = line[sx] & 0x00FFFFFFu;
        }
    }
    return TRUE;
}

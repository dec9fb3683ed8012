// Reading what a window shows: BitBlt from a window's DC into a DIB section
// gives the frame the device presented there, clipped to both.
#include "../d3d9/device_helpers.h"
#include "win32_test_support.h"

namespace {

using namespace win32_test;

INT_PTR CALLBACK quiet_proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BITMAPINFO dib_info(LONG width, LONG height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

TEST_F(WindowTest, BitBltCopiesThePresentedFrameClippedToBothSides)
{
    HWND main = keep(CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, quiet_proc, 0));
    HWND area = GetDlgItem(main, 1018);
    SetWindowPos(area, nullptr, 0, 0, 40, 30, SWP_NOZORDER);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp = windowed_params();
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, area, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
        D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 1.0f, 0);
    D3DRECT corner{0, 0, 10, 5};
    device->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFFFF00, 1.0f, 0);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    // A picture of the reference: what the copy of the area's (sx, sy) onto
    // a w x h bitmap's (tx, ty) must hold at (x, y), top first; 0 where no
    // pixel of the area landed (the bitmap starts zeroed).
    auto expected = [](int x, int y, int tx, int ty, int sx, int sy, int cx, int cy) -> uint32_t {
        int ax = x - tx + sx, ay = y - ty + sy;
        if (x < tx || y < ty || x >= tx + cx || y >= ty + cy || ax < 0 || ay < 0 || ax >= 40 || ay >= 30)
            return 0;
        return ax < 10 && ay < 5 ? 0xFFFF00u : 0x808080u;
    };
    struct Case {
        LONG height; // negative: top first
        int tx, ty, sx, sy, cx, cy;
    };
    const Case cases[] = {
        {-30, 0, 0, 0, 0, 40, 30},   // the whole area
        {30, 0, 0, 0, 0, 40, 30},    // bottom first
        {-20, 5, 3, -4, -2, 50, 40}, // sticking out of both
        {-20, -6, -1, 30, 25, 20, 20},
    };
    HDC window_dc = GetDC(area);
    ASSERT_NE(window_dc, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.height << " " << c.tx << "," << c.ty << " from " << c.sx << "," << c.sy);
        BITMAPINFO info = dib_info(24, c.height);
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        HDC memory = CreateCompatibleDC(window_dc);
        HGDIOBJ previous = SelectObject(memory, bitmap);
        ASSERT_NE(previous, nullptr);
        EXPECT_TRUE(BitBlt(memory, c.tx, c.ty, c.cx, c.cy, window_dc, c.sx, c.sy, SRCCOPY));
        int rows = c.height < 0 ? -c.height : c.height;
        const auto* pixels = static_cast<const uint32_t*>(bits);
        int wrong = 0;
        for (int y = 0; y < rows; ++y) {
            int row = c.height < 0 ? y : rows - 1 - y;
            for (int x = 0; x < 24; ++x)
                wrong += pixels[row * 24 + x] != expected(x, y, c.tx, c.ty, c.sx, c.sy, c.cx, c.cy);
        }
        EXPECT_EQ(wrong, 0);
        // Selected, the bitmap cannot be deleted; a window DC takes none.
        EXPECT_FALSE(DeleteObject(bitmap));
        EXPECT_EQ(SelectObject(window_dc, bitmap), nullptr);
        SelectObject(memory, previous);
        EXPECT_TRUE(DeleteDC(memory));
        EXPECT_TRUE(DeleteObject(bitmap));
    }
    // Only 32-bit BI_RGB sections of a sane size exist.
    BITMAPINFO odd = dib_info(24, 24);
    odd.bmiHeader.biBitCount = 24;
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(window_dc, &odd, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    BITMAPINFO empty = dib_info(0, 24);
    EXPECT_EQ(CreateDIBSection(window_dc, &empty, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
    BITMAPINFO huge = dib_info(1 << 20, 1 << 20);
    EXPECT_EQ(CreateDIBSection(window_dc, &huge, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
    for (LONG side : {32768, 32769}) {
        BITMAPINFO wide = dib_info(side, 1), tall = dib_info(1, -side);
        for (BITMAPINFO* info : {&wide, &tall}) {
            HBITMAP made = CreateDIBSection(window_dc, info, DIB_RGB_COLORS, nullptr, nullptr, 0);
            EXPECT_EQ(made != nullptr, side == 32768) << side;
            DeleteObject(made);
        }
    }

    // A bitmap goes into one memory DC at a time; the stock bitmap and any
    // operation but a plain copy take no copy; each DC is let go its own way.
    BITMAPINFO small = dib_info(4, 4);
    HBITMAP bitmap = CreateDIBSection(window_dc, &small, DIB_RGB_COLORS, nullptr, nullptr, 0);
    HDC first = CreateCompatibleDC(window_dc), second = CreateCompatibleDC(window_dc);
    EXPECT_FALSE(BitBlt(first, 0, 0, 4, 4, window_dc, 0, 0, SRCCOPY));
    HGDIOBJ stock = SelectObject(first, bitmap);
    EXPECT_NE(stock, nullptr);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    EXPECT_EQ(SelectObject(first, bitmap), bitmap); // again into the same DC
    EXPECT_FALSE(BitBlt(first, 0, 0, 4, 4, window_dc, 0, 0, SRCCOPY + 1));
    EXPECT_TRUE(BitBlt(first, 0, 0, 4, 4, window_dc, 0, 0, SRCCOPY));
    SelectObject(first, stock);
    EXPECT_NE(SelectObject(second, bitmap), nullptr);
    EXPECT_EQ(ReleaseDC(area, first), 0);
    EXPECT_FALSE(DeleteDC(window_dc));
    EXPECT_TRUE(DeleteDC(first));
    EXPECT_TRUE(DeleteDC(second)); // lets the bitmap go
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(ReleaseDC(area, window_dc), 1);
    EXPECT_EQ(ReleaseDC(area, window_dc), 0);

    device->Release();
    d3d->Release();
}

} // namespace

// The software device presenting into a real window of the window layer:
// the frame the device draws is what the window shows.
#include <QImage>
#include <QWidget>

#include "../d3d9/device_helpers.h"
#include "win32_test_support.h"

namespace {

using namespace win32_test;

INT_PTR CALLBACK quiet_proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(WindowTest, DeviceFramesAppearInTheRenderArea)
{
    HWND main = CreateDialogIndirectParamA(nullptr, &kMainTemplate, nullptr, quiet_proc, 0);
    ASSERT_NE(main, nullptr);
    HWND area = GetDlgItem(main, 1018);
    SetWindowPos(area, nullptr, 0, 0, 40, 30, SWP_NOZORDER);

    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp = windowed_params(); // size 0: the window's client area
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, area, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
        D3D_OK);

    // The back buffer took the window's client size.
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    back->Release();
    EXPECT_EQ(desc.Width, 40u);
    EXPECT_EQ(desc.Height, 30u);

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080, 1.0f, 0);
    D3DRECT corner{0, 0, 10, 5};
    device->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFFFF00, 1.0f, 0);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    QImage shown = win32_widget_of(area)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(40, 30));
    EXPECT_EQ(shown.pixel(2, 2), qRgb(0xff, 0xff, 0));
    EXPECT_EQ(shown.pixel(20, 20), qRgb(0x80, 0x80, 0x80));

    // A window destroyed before its device takes no more frames; presenting
    // into it must not touch it.
    DestroyWindow(main);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    device->Release();
    d3d->Release();
}

} // namespace

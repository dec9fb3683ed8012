#include "shell/picture_saving.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "platform/win32/replacing_file.h"
#include "render/picture_files.h"
#include "resources/texts.h"
#include "shell/file_dialog_helpers.h"

namespace {

constexpr char kPictureExtension[] = "png"; // given to a name typed without one

struct WindowDcRelease {
    HWND window;
    void operator()(HDC dc) const { ReleaseDC(window, dc); }
};
struct MemoryDcDelete {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct BitmapDelete {
    void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using WindowDc = std::unique_ptr<std::remove_pointer_t<HDC>, WindowDcRelease>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDelete>;
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDelete>;

// The picture replaces the file only once it is whole: a failed save leaves
// what was there. A device or pipe under the name is not written. The
// extension names the format; another one (.gif) is refused, as render
// refuses it, rather than PNG bytes written under a name that says otherwise.
bool save_picture_file(const char* path, const std::vector<uint32_t>& pixels, UINT width, UINT height)
{
    PictureFormat format = PictureFormat::png;
    if (!picture_format_of(path, &format))
        return false;
    ReplacingFile out;
    return out.open(path, ReplacingFile::OtherTargets::refuse) &&
        write_picture(out.stream(), format, pixels, width, height) && out.commit();
}

void show_save_error(AppState* state, const char* path)
{
    const char* format = text(TextId::cannot_save_format);
    std::vector<char> message(std::strlen(format) + kPathBytes);
    std::snprintf(message.data(), message.size(), format, path);
    MessageBoxA(state->main_window, message.data(), text(TextId::data_error_caption), MB_OK | MB_ICONERROR);
}

} // namespace

bool read_render_area(HWND area, std::vector<uint32_t>* pixels, UINT* width, UINT* height)
{
    RECT client;
    if (!GetClientRect(area, &client) || client.right <= 0 || client.bottom <= 0)
        return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom; // rows top first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    WindowDc window_dc(GetDC(area), WindowDcRelease{area});
    MemoryDc memory_dc(CreateCompatibleDC(window_dc.get()));
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(window_dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!window_dc || !memory_dc || !bitmap)
        return false;
    HGDIOBJ previous = SelectObject(memory_dc.get(), bitmap.get());
    BOOL copied = BitBlt(memory_dc.get(), 0, 0, client.right, client.bottom, window_dc.get(), 0, 0, SRCCOPY);
    SelectObject(memory_dc.get(), previous);
    if (!copied)
        return false;
    const auto* first = static_cast<const uint32_t*>(bits);
    pixels->assign(first, first + static_cast<size_t>(client.right) * static_cast<size_t>(client.bottom));
    *width = static_cast<UINT>(client.right);
    *height = static_cast<UINT>(client.bottom);
    return true;
}

void save_picture(AppState* state)
{
    // The picture as it was when the user asked for it.
    std::vector<uint32_t> pixels;
    UINT width = 0, height = 0;
    if (!read_render_area(state->render_area, &pixels, &width, &height))
        return;
    char path[kPathBytes];
    if (!save_file_dialog(state->main_window, text(TextId::save_dialog_title), state->settings.data_path, path,
                          sizeof path, picture_dialog_filter().c_str(), kPictureExtension))
        return;
    if (!save_picture_file(path, pixels, width, height))
        show_save_error(state, path);
}

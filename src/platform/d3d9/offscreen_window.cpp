// The in-memory window target.
#include "platform/d3d9/offscreen_window.h"

#include <cstring>

BOOL OffscreenWindow::target_client_size(UINT* width, UINT* height)
{
    if (closed_ || !width || !height) {
        return FALSE;
    }
    *width = width_;
    *height = height_;
    return TRUE;
}

void OffscreenWindow::target_present(const void* pixels, UINT width, UINT height, UINT pitch)
{
    ++frames_;
    frame_width_ = width;
    frame_height_ = height;
    frame_.resize(size_t(width) * height);
    const auto* bytes = static_cast<const uint8_t*>(pixels);
    for (UINT y = 0; y < height; ++y) {
        uint32_t* row = frame_.data() + size_t(y) * width;
        const uint8_t* source = bytes + size_t(y) * pitch;
        for (UINT x = 0; x < width; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, source + size_t(x) * 4, 4);
            row[x] = pixel & 0x00FFFFFFu; // the fourth byte carries nothing
        }
    }
}

uint32_t OffscreenWindow::pixel(UINT x, UINT y) const
{
    if (x >= frame_width_ || y >= frame_height_) {
        return 0;
    }
    return frame_[size_t(y) * frame_width_ + x];
}

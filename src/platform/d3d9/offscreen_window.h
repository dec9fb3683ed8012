// A window target without a screen: it reports a settable client size and
// keeps the last presented frame in memory, for tools and tests.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/windef.h"

class OffscreenWindow final : public HWND__ {
public:
    OffscreenWindow(UINT width, UINT height) : width_(width), height_(height) {}

    void set_client_size(UINT width, UINT height)
    {
        width_ = width;
        height_ = height;
    }
    // A closed window reports no client area at all.
    void set_closed(bool closed) { closed_ = closed; }

    BOOL target_client_size(UINT* width, UINT* height) override;
    void target_present(const void* pixels, UINT width, UINT height, UINT pitch) override;

    UINT frames_presented() const { return frames_; }
    UINT frame_width() const { return frame_width_; }
    UINT frame_height() const { return frame_height_; }
    // 0xRRGGBB of a pixel of the last frame; 0 outside it.
    uint32_t pixel(UINT x, UINT y) const;
    // The last frame, rows packed, each pixel 0xRRGGBB.
    const std::vector<uint32_t>& frame() const { return frame_; }

private:
    UINT width_, height_;
    bool closed_ = false;
    UINT frames_ = 0;
    UINT frame_width_ = 0, frame_height_ = 0;
    std::vector<uint32_t> frame_;
};

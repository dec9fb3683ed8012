// Test helpers: JPEG files for the decoder tests.
#pragma once

#include "image_bytes.h"

// Baseline 8 x 8 JPEG files built marker by marker. One quantisation table
// (DC step 16), a DC table whose code "0" means a 4-bit difference and "10"
// no difference, and an AC table holding only end-of-block. A difference of
// 8 (bits 1000) gives DC 128, i.e. samples of 128 + 16 = 144.
inline Bytes jpeg_start(int components)
{
    Bytes b;
    b.u8({0xFF, 0xD8});
    b.u8({0xFF, 0xDB}).be16(67).u8({0x00, 16}).repeat(1, 63);
    b.u8({0xFF, 0xC0}).be16(8 + 3 * components).u8({8}).be16(8).be16(8).u8({components});
    for (int c = 1; c <= components; ++c)
        b.u8({c, 0x11, 0x00});
    b.u8({0xFF, 0xC4}).be16(21).u8({0x00, 1, 1}).repeat(0, 14).u8({0x04, 0x00});
    b.u8({0xFF, 0xC4}).be16(20).u8({0x10, 1}).repeat(0, 15).u8({0x00});
    b.u8({0xFF, 0xDA}).be16(6 + 2 * components).u8({components});
    for (int c = 1; c <= components; ++c)
        b.u8({c, 0x00});
    b.u8({0, 63, 0});
    return b;
}

inline Bytes grey_jpeg()
{
    // "0" "1000" then end-of-block "0", padded with ones: 0100 0011.
    return jpeg_start(1).u8({0x43, 0xFF, 0xD9});
}

inline Bytes colour_jpeg()
{
    // Y = 144, Cb = 128 ("10"), Cr = 144: 0 1000 0 | 10 0 | 0 1000 0 | pad 1.
    return jpeg_start(3).u8({0x42, 0x21, 0xFF, 0xD9});
}

// decode_image: tries the nine decoders in a fixed order on one block of file
// bytes; the first that accepts them wins.
#include <clocale>
#include <cstring>
#include <string>

#include "texture/decoders/decoded_image.h"
#include "texture/decoders/image_decoders.h"

namespace {

// Text headers (PFM scale, HDR exposure) are read with the C library's
// number parsing, which follows LC_NUMERIC; the files always use a full stop.
// Holds "C" for one decode and puts the previous name back on every path.
class NumericLocaleScope {
public:
    NumericLocaleScope()
    {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        if (current && std::strcmp(current, "C") != 0) {
            previous_ = current;
            switched_ = std::setlocale(LC_NUMERIC, "C") != nullptr;
        }
    }
    ~NumericLocaleScope()
    {
        if (switched_)
            std::setlocale(LC_NUMERIC, previous_.c_str());
    }
    NumericLocaleScope(const NumericLocaleScope&) = delete;
    NumericLocaleScope& operator=(const NumericLocaleScope&) = delete;

private:
    std::string previous_;
    bool switched_ = false;
};

using Decoder = HRESULT (*)(DecodedImage*, const BYTE*, size_t);

// The order matters: the formats without a signature (TGA, DIB) come last.
const Decoder kDecoders[] = {
    decode_bmp, decode_ppm, decode_dds, decode_jpeg, decode_png, decode_pfm, decode_hdr, decode_tga, decode_dib,
};

void set_whole_region(DecodedImage* image)
{
    for (DecodedImage* face = image; face; face = face->next_face)
        for (DecodedImage* level = face; level; level = level->next_level)
            level->region = ImageRegion{0, 0, level->width, level->height, 0, level->depth};
}

void reset_image(DecodedImage* image, BOOL want_pixels)
{
    release_decoded_image(image);
    image->want_pixels = want_pixels;
}

} // namespace

HRESULT decode_image(const void* bytes, size_t size, BOOL want_pixels, DecodedImage* image)
{
    if (!image)
        return D3DERR_INVALIDCALL;
    std::memset(image, 0, sizeof *image);
    if (!bytes || size == 0)
        return D3DERR_INVALIDCALL;

    NumericLocaleScope numeric_c;
    const BOOL want = want_pixels ? TRUE : FALSE;
    for (Decoder decoder : kDecoders) {
        reset_image(image, want);
        if (SUCCEEDED(decoder(image, static_cast<const BYTE*>(bytes), size))) {
            set_whole_region(image);
            return S_OK;
        }
    }
    reset_image(image, FALSE);
    return E_INVALID_IMAGE_DATA;
}

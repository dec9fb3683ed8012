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

using Decoder = HRESULT (*)(DecodedImage*, const BYTE*, size_t, DecodeReason*);

struct DecoderEntry {
    Decoder decode;
    const char* name; // how reasons name the format
    ImageFileFormat file_format;
};

// The order matters: the formats without a signature (TGA, DIB) come last.
const DecoderEntry kDecoders[] = {
    {decode_bmp, "BMP", IMAGE_FILE_BMP},   {decode_ppm, "PPM", IMAGE_FILE_PPM}, {decode_dds, "DDS", IMAGE_FILE_DDS},
    {decode_jpeg, "JPEG", IMAGE_FILE_JPG}, {decode_png, "PNG", IMAGE_FILE_PNG}, {decode_pfm, "PFM", IMAGE_FILE_PFM},
    {decode_hdr, "HDR", IMAGE_FILE_HDR},   {decode_tga, "TGA", IMAGE_FILE_TGA}, {decode_dib, "DIB", IMAGE_FILE_DIB},
};

// Sets what decode_image promises for every level and face: the whole image
// as the region, and the code of the decoder that accepted the file.
void finish_levels(DecodedImage* image, ImageFileFormat file_format)
{
    for (DecodedImage* face = image; face; face = face->next_face)
        for (DecodedImage* level = face; level; level = level->next_level) {
            level->region = ImageRegion{0, 0, level->width, level->height, 0, level->depth};
            level->file_format = file_format;
        }
}

void reset_image(DecodedImage* image, BOOL want_pixels)
{
    release_decoded_image(image);
    image->want_pixels = want_pixels;
}

} // namespace

HRESULT decode_image(const void* bytes, size_t size, BOOL want_pixels, DecodedImage* image, DecodeReason* reason)
{
    DecodeReason unused;
    if (!reason)
        reason = &unused;
    reason->text[0] = '\0';
    if (!image)
        return refuse(reason, D3DERR_INVALIDCALL, "no image record to decode into");
    std::memset(image, 0, sizeof *image);
    if (!bytes || size == 0)
        return refuse(reason, D3DERR_INVALIDCALL, "no bytes to decode");

    NumericLocaleScope numeric_c;
    const BOOL want = want_pixels ? TRUE : FALSE;
    for (const DecoderEntry& decoder : kDecoders) {
        reset_image(image, want);
        DecodeReason refused{};
        const HRESULT hr = decoder.decode(image, static_cast<const BYTE*>(bytes), size, &refused);
        if (SUCCEEDED(hr)) {
            finish_levels(image, decoder.file_format);
            reason->text[0] = '\0';
            return S_OK;
        }
        if (hr == E_OUTOFMEMORY && !refused.text[0])
            refuse(&refused, hr, "out of memory");
        // The first decoder that knew the format has the useful reason.
        if (refused.text[0] && !reason->text[0])
            refuse(reason, hr, "%s: %s", decoder.name, refused.text);
    }
    reset_image(image, FALSE);
    if (!reason->text[0])
        refuse(reason, E_INVALID_IMAGE_DATA, "no decoder recognises the file");
    return E_INVALID_IMAGE_DATA;
}

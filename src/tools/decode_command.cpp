// varnel-cli decode: decodes an image file as the texture loader does and
// prints what came out; optionally writes the top level's pixels and palette.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "texture/decoders/decoded_image.h"
#include "texture/image_file.h"
#include "tools/commands.h"
#include "tools/image_commands.h"

namespace {

// Gathers rows into large blocks before they reach the file: an image can
// hold hundreds of millions of one-byte rows, and one write per row costs
// seconds.
class BlockWriter {
public:
    explicit BlockWriter(std::FILE* out) : out_(out), block_(kBlock) {}

    bool put(const BYTE* bytes, size_t count)
    {
        if (used_ + count > kBlock && !flush())
            return false;
        if (count >= kBlock)
            return std::fwrite(bytes, 1, count, out_) == count;
        BYTE* to = block_.data() + used_;
        if (count < 16) // the common very narrow rows: cheaper than a call
            for (size_t i = 0; i < count; ++i)
                to[i] = bytes[i];
        else
            std::memcpy(to, bytes, count);
        used_ += count;
        return true;
    }

    bool flush()
    {
        const bool ok = used_ == 0 || std::fwrite(block_.data(), 1, used_, out_) == used_;
        used_ = 0;
        return ok;
    }

private:
    static constexpr size_t kBlock = size_t(1) << 20;
    std::FILE* out_;
    std::vector<BYTE> block_;
    size_t used_ = 0;
};

bool write_pixels(std::FILE* out, const DecodedImage& image)
{
    const size_t row_bytes = decoded_row_bytes(&image);
    const size_t rows = decoded_row_count(&image);
    BlockWriter writer(out);
    bool ok = true;
    for (UINT z = 0; ok && z < image.depth && image.pixels; ++z) {
        const BYTE* slice = image.pixels + size_t(z) * image.slice_pitch;
        for (size_t r = 0; ok && r < rows; ++r)
            ok = writer.put(slice + r * image.row_pitch, row_bytes);
    }
    return ok && writer.flush();
}

bool write_palette(std::FILE* out, const DecodedImage& image)
{
    return !image.palette || std::fwrite(image.palette, 1, 1024, out) == 1024;
}

// Writes one output file whole through `write`, or reports why not. Pixels
// may lie in the image file's mapping: a file cut meanwhile would leave
// zeros where they were, so the output is kept only while the file holds.
template <typename Write>
bool write_output(const char* path, const DecodedImage& image, const MappedImageFile& file, Write write)
{
    ReplacingFile out;
    if (!open_output(&out, path)) {
        cannot_write(path, out.reason());
        return false;
    }
    errno = 0;
    const bool wrote = write(out.stream(), image);
    if (file.changed())
        return false; // said once by the caller
    if (!wrote || !out.commit()) {
        cannot_write(path, errno ? std::strerror(errno) : out.reason());
        return false;
    }
    return true;
}

int count_levels(const DecodedImage& image)
{
    int levels = 1;
    for (const DecodedImage* l = image.next_level; l; l = l->next_level)
        ++levels;
    return levels;
}

} // namespace

namespace {

// What decode's command line asks for.
struct DecodeLine {
    std::optional<std::string> image_path, pixels_path, palette_path;
};

// decode's options, one row each.
void declare_options(OptionTable& table, DecodeLine* line)
{
    add_file_option(table, "--pixels", "OUT", "the top level's pixel rows, without padding", &line->pixels_path);
    add_file_option(table, "--palette", "OUT", "the palette's 256 four-byte entries", &line->palette_path);
    add_image_argument(table, &line->image_path);
}

} // namespace

std::string decode_help()
{
    OptionTable table("decode", kDecodeUsage);
    DecodeLine line;
    declare_options(table, &line);
    return table.help();
}

int decode_command(int argc, char** argv)
{
    OptionTable table("decode", kDecodeUsage);
    DecodeLine line;
    declare_options(table, &line);
    if (const std::string problem = table.parse(argc, argv); !problem.empty())
        return usage_error(kDecodeUsage, problem);
    if (!line.image_path)
        return usage_error(kDecodeUsage, "no image file given");
    const char* image_path = line.image_path->c_str();
    const char* pixels_path = line.pixels_path ? line.pixels_path->c_str() : nullptr;
    const char* palette_path = line.palette_path ? line.palette_path->c_str() : nullptr;

    MappedImageFile file;
    if (FAILED(file.open(image_path))) {
        std::fprintf(stderr, "varnel-cli: cannot read %s: %s\n", image_path, std::strerror(errno));
        return report_failure(E_INVALID_IMAGE_DATA);
    }
    OwnedImage decoded;
    DecodeReason reason{};
    const HRESULT hr = decoded.decode(file.bytes(), file.size(), TRUE, &reason);
    if (FAILED(hr))
        return report_failure(hr, &reason);
    const DecodedImage& image = *decoded;

    bool written = !pixels_path || write_output(pixels_path, image, file, write_pixels);
    written = (!palette_path || write_output(palette_path, image, file, write_palette)) && written;
    if (file.changed()) {
        std::snprintf(reason.text, sizeof reason.text, "the file changed while it was read");
        return report_failure(E_INVALID_IMAGE_DATA, &reason);
    }
    // The line says what was decoded and written, so it comes after the files.
    if (written) {
        char unknown[16];
        const char* name = printed_format_name(image.format, unknown);
        std::printf("format=%s width=%u height=%u depth=%u file_format=%u levels=%d\n", name, image.width, image.height,
                    image.depth, static_cast<unsigned>(image.file_format), count_levels(image));
    }
    return written ? 0 : 1;
}

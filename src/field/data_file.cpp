#include "field/data_file.h"

#include <zlib.h>
#include <zstd.h>

#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

bool ends_with(const char* text, const char* suffix)
{
    const size_t n = std::strlen(text), m = std::strlen(suffix);
    return n >= m && std::strcmp(text + n - m, suffix) == 0;
}

// gzip through zlib's own file reader.
ssize_t gzip_read(void* cookie, char* buffer, size_t size)
{
    const unsigned ask = size > (1u << 30) ? 1u << 30 : static_cast<unsigned>(size);
    gzFile file = static_cast<gzFile>(cookie);
    const int got = gzread(file, buffer, ask);
    // A stream cut short ends with what it had, its error only in gzerror.
    int error = Z_OK;
    if (got <= 0)
        gzerror(file, &error);
    if (got < 0 || error != Z_OK) {
        errno = EIO;
        return -1;
    }
    return got;
}

int gzip_close(void* cookie) { return gzclose(static_cast<gzFile>(cookie)) == Z_OK ? 0 : EOF; }

// Zstandard: the compressed file read a block at a time into one streaming
// decompressor; its output goes straight into the caller's buffer.
struct ZstdSource {
    std::FILE* file = nullptr;
    ZSTD_DStream* stream = nullptr;
    std::vector<char> input = std::vector<char>(ZSTD_DStreamInSize());
    ZSTD_inBuffer in = {nullptr, 0, 0};
    size_t frame_left = 0; // the decompressor's hint: 0 once a frame is complete
    bool started = false;
    ~ZstdSource()
    {
        ZSTD_freeDStream(stream);
        if (file)
            std::fclose(file);
    }
};

ssize_t zstd_read(void* cookie, char* buffer, size_t size)
{
    auto* source = static_cast<ZstdSource*>(cookie);
    ZSTD_outBuffer out = {buffer, size, 0};
    while (out.pos == 0) {
        if (source->in.pos == source->in.size) {
            const size_t got = std::fread(source->input.data(), 1, source->input.size(), source->file);
            if (got == 0) {
                // The end of the file must be the end of a frame.
                if (std::ferror(source->file) || (source->started && source->frame_left != 0)) {
                    errno = EIO;
                    return -1;
                }
                return 0;
            }
            source->in = {source->input.data(), got, 0};
        }
        const size_t result = ZSTD_decompressStream(source->stream, &out, &source->in);
        if (ZSTD_isError(result)) {
            errno = EIO;
            return -1;
        }
        source->started = true;
        source->frame_left = result;
    }
    return static_cast<ssize_t>(out.pos);
}

int zstd_close(void* cookie)
{
    delete static_cast<ZstdSource*>(cookie);
    return 0;
}

std::FILE* open_gzip(const char* path)
{
    gzFile file = gzopen(path, "rb");
    if (!file) {
        if (!errno)
            errno = ENOMEM;
        return nullptr;
    }
    gzbuffer(file, 1 << 17);
    cookie_io_functions_t io = {gzip_read, nullptr, nullptr, gzip_close};
    std::FILE* stream = fopencookie(file, "r", io);
    if (!stream)
        gzclose(file);
    return stream;
}

std::FILE* open_zstd(const char* path)
{
    auto source = std::make_unique<ZstdSource>();
    source->file = std::fopen(path, "rb");
    if (!source->file)
        return nullptr;
    source->stream = ZSTD_createDStream();
    if (!source->stream || ZSTD_isError(ZSTD_initDStream(source->stream))) {
        errno = ENOMEM;
        return nullptr;
    }
    // The library's default refuses frames that ask for a window above
    // 128 MiB, so a hostile header cannot make it take more memory.
    cookie_io_functions_t io = {zstd_read, nullptr, nullptr, zstd_close};
    std::FILE* stream = fopencookie(source.get(), "r", io);
    if (stream)
        source.release();
    return stream;
}

} // namespace

std::FILE* open_data_file(const char* path)
{
    if (ends_with(path, ".gz"))
        return open_gzip(path);
    if (ends_with(path, ".zst"))
        return open_zstd(path);
    return std::fopen(path, "r");
}

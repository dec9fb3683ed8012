#include "field/sources/data_file.h"

#include "field/fault_plan.h"
#include "field/sources/data_file_test_hook.h"
#include "platform/win32/mapping_guard.h"

#include <zlib.h>
#include <zstd.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

bool ends_with(const char* text, const char* suffix)
{
    const size_t n = std::strlen(text), m = std::strlen(suffix);
    return n >= m && std::strcmp(text + n - m, suffix) == 0;
}

void measure(std::FILE* file, DataFileMeter* meter)
{
    struct stat facts;
    if (meter && fstat(fileno(file), &facts) == 0)
        *meter = DataFileMeter{0, static_cast<long long>(facts.st_size)};
}

// A plain file read through a meter.
struct PlainSource {
    std::FILE* file;
    DataFileMeter* meter;
    std::FILE* stream = nullptr; // the metered stream over the file
    bool read_from = false;      // once true, the stream may hold bytes of its own
    ~PlainSource() { std::fclose(file); }
};

// The metered streams open now, so that a mapping can find the file under
// one and move its meter.
std::mutex g_metered_mutex;
std::vector<PlainSource*> g_metered;

void forget_metered(PlainSource* source)
{
    std::lock_guard<std::mutex> lock(g_metered_mutex);
    g_metered.erase(std::remove(g_metered.begin(), g_metered.end(), source), g_metered.end());
}

// The source under `stream` when it is a metered plain file that nobody has
// read from yet.
PlainSource* unread_metered(std::FILE* stream)
{
    std::lock_guard<std::mutex> lock(g_metered_mutex);
    for (PlainSource* source : g_metered)
        if (source->stream == stream)
            return source->read_from ? nullptr : source;
    return nullptr;
}

ssize_t plain_read(void* cookie, char* buffer, size_t size)
{
    auto* source = static_cast<PlainSource*>(cookie);
    source->read_from = true;
    const size_t got = std::fread(buffer, 1, size, source->file);
    source->meter->done += static_cast<long long>(got);
    if (got == 0 && std::ferror(source->file))
        return -1;
    return static_cast<ssize_t>(got);
}

int plain_close(void* cookie)
{
    auto* source = static_cast<PlainSource*>(cookie);
    forget_metered(source);
    delete source;
    return 0;
}

// gzip a member at a time through zlib's inflate, so that what follows the
// last member is seen: more members, or bytes that are none (ignored, with
// the meter told). A file that is no gzip at all is read as it is.
struct GzipSource {
    std::FILE* file = nullptr;
    z_stream z = {};
    bool z_ready = false;
    std::vector<unsigned char> input = std::vector<unsigned char>(std::size_t(1) << 17);
    DataFileMeter* meter = nullptr;
    bool in_member = false; // a member started and has not ended yet
    bool started = false;   // the first member was met
    bool direct = false;    // no gzip: the bytes are the text
    bool ended = false;     // nothing more is read
    ~GzipSource()
    {
        if (z_ready)
            inflateEnd(&z);
        if (file)
            std::fclose(file);
    }
};

// At least `want` bytes of input ready unless the file ends first; false on a
// read error.
bool fill_input(GzipSource& s, unsigned want)
{
    if (s.z.avail_in >= want)
        return true;
    if (s.z.avail_in > 0)
        std::memmove(s.input.data(), s.z.next_in, s.z.avail_in);
    std::size_t have = s.z.avail_in;
    while (have < want) {
        const std::size_t got = std::fread(s.input.data() + have, 1, s.input.size() - have, s.file);
        if (got == 0)
            break;
        have += got;
        if (s.meter)
            s.meter->done += static_cast<long long>(got);
    }
    s.z.next_in = s.input.data();
    s.z.avail_in = static_cast<uInt>(have);
    return !std::ferror(s.file);
}

constexpr char kCutShort[] = "the compressed data ends in the middle: the file is cut short";

void say_damage(DataFileMeter* meter, const std::string& reason)
{
    if (meter)
        meter->damage = reason;
}

ssize_t gzip_read(void* cookie, char* buffer, size_t size)
{
    auto& s = *static_cast<GzipSource*>(cookie);
    const uInt ask = size > (1u << 30) ? 1u << 30 : static_cast<uInt>(size);
    s.z.next_out = reinterpret_cast<Bytef*>(buffer);
    s.z.avail_out = ask;
    while (!s.ended && s.z.avail_out == ask) {
        if (!fill_input(s, s.in_member ? 1 : 2)) {
            errno = EIO;
            return -1;
        }
        if (s.direct) {
            const uInt n = std::min(s.z.avail_in, s.z.avail_out);
            std::memcpy(s.z.next_out, s.z.next_in, n);
            s.z.next_in += n, s.z.avail_in -= n, s.z.next_out += n, s.z.avail_out -= n;
            s.ended = s.z.avail_in == 0 && std::feof(s.file);
            continue;
        }
        if (s.z.avail_in == 0) {
            // A member cut short is a damaged file, not its end.
            if (s.in_member) {
                say_damage(s.meter, kCutShort);
                errno = EIO;
                return -1;
            }
            s.ended = true;
            break;
        }
        if (!s.in_member) {
            const bool magic = s.z.avail_in >= 2 && s.z.next_in[0] == 0x1f && s.z.next_in[1] == 0x8b;
            if (!magic) {
                if (s.started && s.meter)
                    s.meter->trailing_garbage = true;
                s.direct = !s.started;
                s.ended = s.started;
                continue;
            }
            if (inflateReset(&s.z) != Z_OK) {
                errno = EIO;
                return -1;
            }
            s.in_member = s.started = true;
        }
        const int result = inflate(&s.z, Z_NO_FLUSH);
        if (result == Z_STREAM_END)
            s.in_member = false;
        else if (result != Z_OK && result != Z_BUF_ERROR) {
            say_damage(s.meter, std::string("the gzip data is damaged: ") + (s.z.msg ? s.z.msg : "no reason given"));
            errno = EIO;
            return -1;
        }
    }
    return static_cast<ssize_t>(ask - s.z.avail_out);
}

int gzip_close(void* cookie)
{
    delete static_cast<GzipSource*>(cookie);
    return 0;
}

// Zstandard: the compressed file read a block at a time into one streaming
// decompressor; its output goes straight into the caller's buffer.
struct ZstdSource {
    std::FILE* file = nullptr;
    ZSTD_DStream* stream = nullptr;
    std::vector<char> input = std::vector<char>(ZSTD_DStreamInSize());
    ZSTD_inBuffer in = {nullptr, 0, 0};
    DataFileMeter* meter = nullptr;
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
                    if (!std::ferror(source->file))
                        say_damage(source->meter, kCutShort);
                    errno = EIO;
                    return -1;
                }
                return 0;
            }
            source->in = {source->input.data(), got, 0};
            if (source->meter)
                source->meter->done += static_cast<long long>(got);
        }
        const size_t result = ZSTD_decompressStream(source->stream, &out, &source->in);
        if (ZSTD_isError(result)) {
            say_damage(source->meter, std::string("the Zstandard data is damaged: ") + ZSTD_getErrorName(result));
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

// Bytes given back, then the stream they were read from.
struct ReplaySource {
    std::FILE* stream;
    std::string first;
    std::size_t given = 0;
    bool owns;
    ~ReplaySource()
    {
        if (owns)
            std::fclose(stream);
    }
};

ssize_t replay_read(void* cookie, char* buffer, size_t size)
{
    auto& source = *static_cast<ReplaySource*>(cookie);
    if (source.given < source.first.size()) {
        const std::size_t n = std::min(size, source.first.size() - source.given);
        std::memcpy(buffer, source.first.data() + source.given, n);
        source.given += n;
        return static_cast<ssize_t>(n);
    }
    const size_t got = std::fread(buffer, 1, size, source.stream);
    if (got == 0 && std::ferror(source.stream))
        return -1;
    return static_cast<ssize_t>(got);
}

int replay_close(void* cookie)
{
    delete static_cast<ReplaySource*>(cookie);
    return 0;
}

std::mutex g_map_failure_mutex;
FaultPlan g_map_failure;

bool map_fails()
{
    std::lock_guard<std::mutex> lock(g_map_failure_mutex);
    return g_map_failure.fires();
}

std::FILE* open_plain(const char* path, DataFileMeter* meter)
{
    std::FILE* file = std::fopen(path, "r");
    if (!file || !meter)
        return file;
    measure(file, meter);
    auto* source = new PlainSource{file, meter};
    cookie_io_functions_t io = {plain_read, nullptr, nullptr, plain_close};
    std::FILE* stream = fopencookie(source, "r", io);
    if (!stream) {
        delete source;
        return nullptr;
    }
    source->stream = stream;
    std::lock_guard<std::mutex> lock(g_metered_mutex);
    g_metered.push_back(source);
    return stream;
}

std::FILE* open_gzip(const char* path, DataFileMeter* meter)
{
    auto source = std::make_unique<GzipSource>();
    source->file = std::fopen(path, "rb");
    if (!source->file)
        return nullptr;
    measure(source->file, meter);
    source->meter = meter;
    // 16 + the window bits: a gzip header and trailer around each member.
    if (inflateInit2(&source->z, 16 + MAX_WBITS) != Z_OK) {
        errno = ENOMEM;
        return nullptr;
    }
    source->z_ready = true;
    cookie_io_functions_t io = {gzip_read, nullptr, nullptr, gzip_close};
    std::FILE* stream = fopencookie(source.get(), "r", io);
    if (stream)
        source.release();
    return stream;
}

std::FILE* open_zstd(const char* path, DataFileMeter* meter)
{
    auto source = std::make_unique<ZstdSource>();
    source->file = std::fopen(path, "rb");
    if (!source->file)
        return nullptr;
    measure(source->file, meter);
    source->meter = meter;
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

bool is_compressed_path(const char* path) { return ends_with(path, ".gz") || ends_with(path, ".zst"); }

std::FILE* open_data_file(const char* path, DataFileMeter* meter)
{
    if (ends_with(path, ".gz"))
        return open_gzip(path, meter);
    if (ends_with(path, ".zst"))
        return open_zstd(path, meter);
    return open_plain(path, meter);
}

void data_file_test_fail_maps(unsigned skip, unsigned times)
{
    std::lock_guard<std::mutex> lock(g_map_failure_mutex);
    g_map_failure = {true, skip, times};
}

void data_file_test_reset()
{
    std::lock_guard<std::mutex> lock(g_map_failure_mutex);
    g_map_failure = {};
}

bool peek_data_stream(std::FILE** stream, std::size_t most, std::string* head, bool (*enough)(const std::string& head))
{
    // An array's header is in its first bytes; a megabyte read, made ready
    // and then copied for it cost a large array's load 5 ms before any
    // thread could start.
    const std::size_t first_look = std::min(most, std::size_t(64) << 10);
    PlainSource* metered = unread_metered(*stream);
    std::FILE* file = metered ? metered->file : *stream;
    struct stat facts;
    const int descriptor = fileno(file);
    // A plain regular file not yet read from: its bytes beside the stream.
    if (descriptor >= 0 && fstat(descriptor, &facts) == 0 && S_ISREG(facts.st_mode) && ftello(file) == 0) {
        // Room for the file as it stands, and more only if it grows: each
        // page of a megabyte made ready for a small file cost a fault, and
        // the faults were a third of a small load's time.
        const std::size_t room = std::min(most, std::size_t(std::max<off_t>(facts.st_size, 0)) + 1);
        head->assign(std::min(room, first_look), '\0');
        std::size_t got = 0;
        while (got < most) {
            if (got == head->size()) {
                if (enough && enough(*head))
                    break;
                head->resize(std::min(most, std::max(room, 2 * got)));
            }
            const ssize_t n = pread(descriptor, head->data() + got, head->size() - got, off_t(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                break;
            got += std::size_t(n);
        }
        head->resize(got);
        return true;
    }
    head->assign(first_look, '\0');
    std::size_t got = std::fread(head->data(), 1, first_look, *stream);
    if (got == first_look && got < most && !(enough && enough(*head))) {
        head->resize(most);
        got += std::fread(head->data() + got, 1, most - got, *stream);
    }
    head->resize(got);
    if (std::ferror(*stream))
        return false;
    std::FILE* replay = replay_data_stream(*stream, *head, true);
    if (!replay)
        return false;
    *stream = replay;
    return true;
}

std::FILE* replay_data_stream(std::FILE* stream, std::string first, bool owns)
{
    auto* source = new ReplaySource{stream, std::move(first), 0, owns};
    cookie_io_functions_t io = {replay_read, nullptr, nullptr, replay_close};
    std::FILE* replay = fopencookie(source, "r", io);
    if (!replay) {
        source->owns = false;
        delete source;
    }
    return replay;
}

MappedDataFile::MappedDataFile(std::FILE* stream)
{
    if (!stream)
        return;
    PlainSource* metered = unread_metered(stream);
    std::FILE* file = metered ? metered->file : stream;
    const int descriptor = fileno(file);
    struct stat facts;
    if (descriptor < 0 || fstat(descriptor, &facts) != 0 || !S_ISREG(facts.st_mode))
        return;
    // ftello counts what the stream has buffered as read.
    const off_t start = ftello(file);
    if (start < 0 || facts.st_size <= start)
        return;
    const long page = sysconf(_SC_PAGESIZE);
    const off_t map_start = page > 0 ? start / page * page : 0;
    const auto length = static_cast<unsigned long long>(facts.st_size - map_start);
    if (static_cast<std::size_t>(length) != length)
        return;
    if (map_fails())
        return;
    void* map = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_PRIVATE, descriptor, map_start);
    if (map == MAP_FAILED)
        return;
    file_ = file;
    start_ = start;
    map_ = map;
    map_length_ = static_cast<std::size_t>(length);
    bytes_ = static_cast<const char*>(map) + (start - map_start);
    size_ = static_cast<std::size_t>(facts.st_size - start);
    meter_ = metered ? metered->meter : nullptr;
    guard_ = guard_mapped_view(map, map_length_);
}

bool MappedDataFile::changed() const { return mapped_view_changed(guard_); }

void MappedDataFile::let_go(const char* begin, const char* end)
{
    const auto* map = static_cast<const char*>(map_);
    if (!map_ || begin < map || end > map + map_length_ || begin >= end)
        return;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
    const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(end) / page * page;
    if (first < last)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

bool MappedDataFile::copy(const char* begin, const char* end, char* out) const
{
    if (!bytes_ || begin < bytes_ || end > bytes_ + size_ || begin > end)
        return false;
    const int descriptor = fileno(file_);
    // bytes_ is the file's byte start_.
    off_t at = static_cast<off_t>(start_ + (begin - bytes_));
    for (std::size_t left = static_cast<std::size_t>(end - begin); left > 0;) {
        const ssize_t got = pread(descriptor, out, left, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        at += got;
        left -= static_cast<std::size_t>(got);
    }
    return true;
}

MappedDataFile::~MappedDataFile()
{
    if (!map_)
        return;
    unguard_mapped_view(guard_);
    munmap(map_, map_length_);
    fseeko(file_, static_cast<off_t>(start_ + static_cast<long long>(taken_)), SEEK_SET);
}

void MappedDataFile::take(std::size_t n)
{
    n = std::min(n, size_ - taken_);
    taken_ += n;
    if (meter_)
        meter_->done += static_cast<long long>(n);
}

// Data files as the reader takes them: plain text, or text compressed with
// gzip (".gz") or Zstandard (".zst"), decompressed as it is read, so no
// temporary file and no whole-file buffer is ever made.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

// How far reading has come through the file as it lies on disk (for a
// compressed file, its compressed bytes), and the file's size.
struct DataFileMeter {
    long long done = 0;
    long long size = 0;
    // Bytes after the last gzip member that are no gzip member: ignored, as
    // gzip -d ignores them, but worth a warning.
    bool trailing_garbage = false;
    // Why a compressed file could not be read to its end, when the reason
    // is in its bytes (damaged, or cut short) rather than in the disk.
    std::string damage;
};

// A stream closed when its owner goes: a data file, or any other file.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Whether the file at `path` is read through a decompressor: by its name,
// ".gz" or ".zst".
bool is_compressed_path(const char* path);

// The file opened for reading, or null with errno set. A damaged or cut
// compressed stream shows as a read error on the stream (ferror), after the
// text that could be read. With a meter, which must outlive the stream, the
// stream keeps it up to date as it reads.
std::FILE* open_data_file(const char* path, DataFileMeter* meter = nullptr);

// A stream that gives `first`, then what `stream` gives from where it
// stands: the bytes read off a pipe to tell what it holds are not lost to
// its reader. A read error of `stream` is one of the new stream. With
// `owns`, closing the new stream closes `stream`. Null with errno set,
// `stream` left to the caller, when it cannot be made.
std::FILE* replay_data_stream(std::FILE* stream, std::string first, bool owns);

// Up to `most` of the first bytes the stream will give, in *head, without
// taking them from it: a plain file's are read beside the stream, which
// can then still be mapped; any other stream's are read off it, and *stream
// becomes one that gives them again (owning the old). The first 64 KiB are
// read first, and no more where `enough` says they will do. False with
// errno set on a read error, or when the new stream cannot be made
// (*stream kept).
bool peek_data_stream(std::FILE** stream, std::size_t most, std::string* head,
                      bool (*enough)(const std::string& head) = nullptr);

// Bytes the text reader copies out of a mapped file at a time
// (MappedDataFile::copy): a block that stays in the cache while it is
// parsed. 256 KiB took 15% less CPU than 64 KiB on 100 million float64
// points when arrays were copied too (fewer reads), 1 MiB more.
inline constexpr std::size_t kCopyBytes = std::size_t(256) << 10;

// The rest of a plain data file, from where its stream stands to the file's
// end, mapped into memory so that a reader can take it without copying it.
// Nothing is mapped for any other stream (compressed, a pipe, a stream
// already read through its meter) or when the mapping fails: the caller
// then reads the stream as usual.
class MappedDataFile {
public:
    explicit MappedDataFile(std::FILE* stream);
    // Unmaps, and leaves the stream just after the bytes taken.
    ~MappedDataFile();
    MappedDataFile(const MappedDataFile&) = delete;
    MappedDataFile& operator=(const MappedDataFile&) = delete;

    const char* data() const { return bytes_; }
    std::size_t size() const { return size_; }
    bool mapped() const { return bytes_ != nullptr; }
    // The file shrank under the mapping while it was read: bytes past its
    // new end read as zeros, so what was read is not the file.
    bool changed() const;
    // The pages wholly inside [begin, end) of the mapping are read and not
    // wanted again: they leave the process's memory (the file is untouched).
    void let_go(const char* begin, const char* end);
    // Copies [begin, end) of the mapping into `out` by reading the file,
    // for a parser that reads its bytes over again (on small folios of
    // the page cache, faulting pages in costs more than the copy). False, `out` holding anything, where
    // the file gave fewer bytes (it was cut meanwhile): the mapping is
    // then read as it is. Safe on any thread.
    bool copy(const char* begin, const char* end, char* out) const;
    // Counts n more bytes as read, on the file's meter too.
    void take(std::size_t n);

private:
    std::FILE* file_ = nullptr; // the stream, or the file under a metered one
    long long start_ = 0;       // where the stream stood in the file
    void* map_ = nullptr;
    std::size_t map_length_ = 0;
    const char* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t taken_ = 0;
    DataFileMeter* meter_ = nullptr;
    int guard_ = -1;
};

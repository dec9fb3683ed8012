// Arrays saved as .npy files load as the same points written as text do,
// whatever their type, byte order, header version and thread count; a
// header that lies is refused with its reason.
#include "field/field_loader.h"

#include <gtest/gtest.h>

#include "field/field_loader_test_hook.h"
#include "field/sources/data_file_test_hook.h"
#include "file_cut.h"
#include "fit_reference.h"
#include "gzip_bytes.h"
#include "npy_bytes.h"
#include "temp_folder.h"

#include <sys/stat.h>
#include <zstd.h>

#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A type as the header names it, and how one value is stored in it.
struct StoredType {
    const char* descr;
    bool is_float;
    int size;
    bool big;
};

// The bytes of `value` in the type, one byte at a time from its bits.
std::string store(const StoredType& type, double value)
{
    std::uint64_t bits = 0;
    if (type.is_float && type.size == 4) {
        const float narrow = static_cast<float>(value);
        std::memcpy(&bits, &narrow, 4);
    } else if (type.is_float) {
        std::memcpy(&bits, &value, 8);
    } else {
        bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
    }
    std::string bytes(std::size_t(type.size), '\0');
    for (int k = 0; k < type.size; ++k)
        bytes[std::size_t(type.big ? type.size - 1 - k : k)] = char((bits >> (8 * k)) & 0xff);
    return bytes;
}

class NpyLoad : public ::testing::Test {
protected:
    void TearDown() override
    {
        set_point_reader_chunk_bytes(0);
        data_file_test_reset();
        field_loader_test_guess_sizes(0, 0);
    }
    std::string write(const std::string& name, const std::string& bytes) { return dir_.write(name, bytes); }
    static LoadedField load(const std::string& path, unsigned threads = 2, ColumnRequest columns = {},
                            Range range = Range{0, 4000, 0, 4000})
    {
        LoadRequest request;
        request.path = path;
        request.range = range;
        request.threads = threads;
        request.columns = columns;
        return load_field(request);
    }
    // The grids and counts are the same, node for node.
    static void expect_same(const LoadedField& got, const LoadedField& want)
    {
        ASSERT_TRUE(got.ok()) << got.problem;
        ASSERT_TRUE(want.ok());
        EXPECT_EQ(got.counts.points, want.counts.points);
        EXPECT_EQ(got.counts.in_range, want.counts.in_range);
        EXPECT_EQ(got.counts.rejected, want.counts.rejected);
        EXPECT_EQ(got.counts.not_a_number, want.counts.not_a_number);
        EXPECT_EQ(got.max, want.max);
        const double* a = got.field->ops.data(got.field.get());
        const double* b = want.field->ops.data(want.field.get());
        for (int i = 0; i < 201 * 201; ++i)
            ASSERT_EQ(a[i], b[i]) << "node " << i;
    }
    TempFolder dir_{"npy"};
};

// Points spread over and past the range, whole numbers for integer types.
std::vector<double> values(int count, bool whole, double span, double low = 0)
{
    std::vector<double> v;
    std::uint32_t state = 12345;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        const double x = low + double(state >> 8) / double(1 << 24) * span;
        v.push_back(whole ? std::floor(x) : x);
    }
    return v;
}

TEST_F(NpyLoad, EveryTypeAndVersionGivesTheFieldOfTheSameText)
{
    const StoredType types[] = {
        {"<f8", true, 8, false},  {">f8", true, 8, true},   {"<f4", true, 4, false},  {">f4", true, 4, true},
        {"<i4", false, 4, false}, {">i4", false, 4, true},  {"<i8", false, 8, false}, {">i8", false, 8, true},
        {"|u1", false, 1, false}, {"<u2", false, 2, false}, {">u4", false, 4, true},  {"<u8", false, 8, false},
        {"|i1", false, 1, false}, {"<i2", false, 2, false}, {">i2", false, 2, true},  {">u2", false, 2, true},
        {"<u4", false, 4, false}, {">u8", false, 8, true},
    };
    // Three columns, the last two chosen; and two, read as they lie, in
    // more records than one read of the file takes.
    for (const int width : {3, 2}) {
        const int rows = width == 3 ? 3000 : 9000;
        for (const StoredType& type : types) {
            for (const int version : {1, 2, 3}) {
                SCOPED_TRACE(testing::Message() << type.descr << " version " << version << " width " << width);
                // Signed types hold values below zero too, so that each is
                // read with its sign.
                const double span = type.size == 1 ? 255 : 4400;
                const double low = type.descr[1] == 'u' ? 0 : -span / 2;
                const std::vector<double> v = values(rows * width, !type.is_float, span, low);
                std::string records, text;
                for (int r = 0; r < rows; ++r) {
                    // What the file holds, read back as a double.
                    const auto held = [&](int c) {
                        const double x = v[std::size_t(r * width + c)];
                        return type.is_float && type.size == 4 ? double(float(x)) : x;
                    };
                    for (int c = 0; c < width; ++c) {
                        records += store(type, v[std::size_t(r * width + c)]);
                        char number[32];
                        std::snprintf(number, sizeof number, "%.17g", held(c));
                        text += number;
                        text += c + 1 < width ? ' ' : '\n';
                    }
                }
                const std::string npy =
                    write("a.npy",
                          npy_file(version,
                                   "{'descr': '" + std::string(type.descr) + "', 'fortran_order': False, 'shape': (" +
                                       std::to_string(rows) + ", " + std::to_string(width) + "), }",
                                   records));
                const std::string txt = write("a.txt", text);
                ColumnRequest columns;
                if (width == 3) {
                    columns.numbers = Columns{3, 2};
                    columns.chosen = true;
                }
                const Range range{-2300, 4000, -2300, 4000};
                const LoadedField want = load(txt, 2, columns, range);
                expect_same(load(npy, 2, columns, range), want);
                // The same values stored column by column, as NumPy saves a
                // data frame's.
                std::string by_columns;
                for (int c = 0; c < width; ++c)
                    for (int r = 0; r < rows; ++r)
                        by_columns += store(type, v[std::size_t(r * width + c)]);
                const std::string fortran =
                    write("f.npy",
                          npy_file(version,
                                   "{'descr': '" + std::string(type.descr) + "', 'fortran_order': True, 'shape': (" +
                                       std::to_string(rows) + ", " + std::to_string(width) + "), }",
                                   by_columns));
                expect_same(load(fortran, 2, columns, range), want);
            }
        }
    }
}

// Float32 pairs are binned as they lie only where the load does nothing
// more with its points: with logarithmic axes, or the cells' sums kept,
// they give what the same values stored as float64 give.
TEST_F(NpyLoad, FloatPairsOnLogAxesOrWithSumsGiveWhatTheirValuesGive)
{
    const StoredType narrow{"<f4", true, 4, false}, wide{"<f8", true, 8, false};
    const std::vector<double> v = values(2 * 5000, false, 4400);
    std::string f4, f8;
    for (const double x : v) {
        f4 += store(narrow, x);
        f8 += store(wide, double(float(x)));
    }
    const std::string header = "{'descr': '%s', 'fortran_order': False, 'shape': (5000, 2), }";
    const auto file = [&](const char* name, const char* descr, const std::string& records) {
        std::string h = header;
        h.replace(h.find("%s"), 2, descr);
        return write(name, npy_file(1, h, records));
    };
    const std::string a = file("a.npy", "<f4", f4), b = file("b.npy", "<f8", f8);
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way == 0 ? "log x" : way == 1 ? "log y" : "sums kept");
        const auto load_as = [&](const std::string& path) {
            LoadRequest request;
            request.path = path;
            request.range = Range{1, 4000, 1, 4000};
            request.log_x = way == 0;
            request.log_y = way == 1;
            request.keep_sums = way == 2;
            return load_field(request);
        };
        const LoadedField got = load_as(a), want = load_as(b);
        expect_same(got, want);
        if (way == 2) {
            ASSERT_TRUE(got.sums && want.sums);
            ASSERT_EQ(got.sums->cells.size(), want.sums->cells.size());
            for (std::size_t k = 0; k < got.sums->cells.size(); ++k) {
                ASSERT_EQ(got.sums->cells[k].n, want.sums->cells[k].n) << "cell " << k;
                ASSERT_EQ(got.sums->cells[k].sfxfy, want.sums->cells[k].sfxfy) << "cell " << k;
            }
        }
    }
}

// Named fields of mixed types and byte orders with padding between them,
// picked by name and by number, on any number of threads and chunk sizes,
// and NaN counted as text's "nan" is.
TEST_F(NpyLoad, StructuredFieldsByNameOrNumberOnAnyThreads)
{
    const StoredType id{"<i4", false, 4, false}, x{">f8", true, 8, true}, y{"<f4", true, 4, false};
    const int rows = 5000;
    const std::vector<double> v = values(rows * 2, false, 4200);
    std::string records, text = "x y\n";
    for (int r = 0; r < rows; ++r) {
        const double px = r % 997 == 5 ? NAN : v[std::size_t(2 * r)];
        const double py = double(float(v[std::size_t(2 * r + 1)]));
        records += store(id, r) + store(x, px) + std::string(3, '\x7f') + store(y, py);
        char line[96];
        std::snprintf(line, sizeof line, "%.17g %.17g\n", px, py);
        text += line;
    }
    const std::string npy = write("s.npy",
                                  npy_file(1,
                                           "{'descr': [('id', '<i4'), ('x', '>f8'), ('', '|V3'), ('y', '<f4')], "
                                           "'fortran_order': False, 'shape': (" +
                                               std::to_string(rows) + ",), }",
                                           records));
    const LoadedField want = load(write("s.txt", text));
    ColumnRequest by_name;
    by_name.x_name = "x";
    by_name.y_name = "y";
    by_name.chosen = true;
    ColumnRequest by_number;
    by_number.numbers = Columns{2, 3};
    by_number.chosen = true;
    const LoadedField named = load(npy, 2, by_name);
    expect_same(named, want);
    EXPECT_EQ(named.columns.x_name, "x");
    EXPECT_EQ(named.columns.y_name, "y");
    expect_same(load(npy, 2, by_number), want);
    // Cut into many chunks, the sums group differently from one chunk's,
    // but never by the number of threads.
    set_point_reader_chunk_bytes(1000);
    const LoadedField one = load(npy, 1, by_name);
    for (const unsigned threads : {2u, 3u, 8u}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        expect_same(load(npy, threads, by_name), one);
    }
    EXPECT_GT(want.counts.not_a_number, 0);
    ColumnRequest missing;
    missing.x_name = "z";
    missing.chosen = true;
    EXPECT_EQ(load(npy, 1, missing).failure, LoadFailure::no_column);
}

// Records with a third field beside x and y, of either float, are read at
// their own stride, not as pairs that lie side by side.
TEST_F(NpyLoad, RecordsWiderThanAPointAreReadAtTheirStride)
{
    for (const StoredType& type : {StoredType{"<f8", true, 8, false}, StoredType{"<f4", true, 4, false}}) {
        SCOPED_TRACE(type.descr);
        const int rows = 3000;
        const std::vector<double> v = values(rows * 2, false, 4000);
        std::string records, text;
        for (int r = 0; r < rows; ++r) {
            const double px = double(float(v[std::size_t(2 * r)])), py = double(float(v[std::size_t(2 * r + 1)]));
            records += store(type, px) + store(type, py) + store(type, 9999);
            char line[96];
            std::snprintf(line, sizeof line, "%.17g %.17g\n", px, py);
            text += line;
        }
        const std::string d = std::string("'") + type.descr + "'";
        const std::string header = "{'descr': [('x', " + d + "), ('y', " + d + "), ('w', " + d +
            ")], 'fortran_order': False, 'shape': (" + std::to_string(rows) + ",), }";
        const std::string npy = write("w.npy", npy_file(1, header, records));
        ColumnRequest xy;
        xy.numbers = Columns{1, 2};
        xy.chosen = true;
        expect_same(load(npy, 2, xy), load(write("w.txt", text), 2, xy));
    }
}

// A header that cannot be trusted is refused with its reason before any
// record is read.
TEST_F(NpyLoad, HeadersThatLieAreRefusedWithTheirReason)
{
    const std::string eight_records(8 * 16, '\0');
    const auto dict = [](const std::string& descr, const std::string& fortran, const std::string& shape) {
        return "{'descr': " + descr + ", 'fortran_order': " + fortran + ", 'shape': " + shape + ", }";
    };
    std::string long_header = npy_file(1, dict("'<f8'", "False", "(8, 2)"), eight_records);
    long_header[8] = '\xff';
    long_header[9] = '\x7f';
    const struct {
        std::string bytes;
        const char* reason;
    } cases[] = {
        {npy_file(1, dict("'<f8'", "False", "(9, 2)"), eight_records), "shape says 9 records"},
        {npy_file(2, dict("'<f8'", "False", "(4000000000000, 2)"), eight_records), "shape says"},
        {npy_file(1, dict("'<c16'", "False", "(8, 1)"), eight_records), "'<c16'"},
        {npy_file(1, dict("'|O'", "False", "(8, 2)"), eight_records), "'|O'"},
        {npy_file(1, dict("'<f8'", "True", "(8, 9)"), eight_records), "shape says 8 records of 72 bytes"},
        {npy_file(1, dict("'<f8'", "False", "(4, 2, 2)"), eight_records), "two dimensions"},
        {npy_file(1, dict("[('x', '<f8'), ('y', '<U4')]", "False", "(8,)"), eight_records), "field 'y'"},
        {npy_file(1, dict("[('x', '<f8', (2,))]", "False", "(8,)"), eight_records), "subarrays"},
        {npy_file(1, dict("[('', '|V8a'), ('x', '<f8')]", "False", "(8,)"), eight_records), "padding '|V8a'"},
        {npy_file(1, dict("[('', '|V16')]", "False", "(8,)"), eight_records), "no numeric field"},
        {npy_file(1, dict("[('x', '<f8'), ('y', '<f8')]", "False", "(8, 1)"), eight_records), "shape has 2"},
        {npy_file(1, dict("'<f8'", "0", "(8, 2)"), eight_records), "fortran_order is no boolean"},
        {npy_file(1, dict("'<f8'", "False", "16"), eight_records), "shape is no tuple"},
        {npy_file(1, dict("'<f8'", "False", "(8, 'two')"), eight_records), "other than whole numbers"},
        {npy_file(1, dict("'<f8'", "False", "(8, 0)"), eight_records), "shape's 0 columns"},
        // 2^64 + 8 records would wrap to the 8 the file holds.
        {npy_file(1, dict("'<f8'", "False", "(18446744073709551624, 2)"), eight_records), "no dictionary"},
        {npy_file(1, dict("'|f8'", "False", "(8, 2)"), eight_records), "'|f8'"},
        {npy_file(1, dict("'<f8'", "True", "(4000000000000000000, 3)"), eight_records), "what memory can address"},
        {npy_file(1, dict("3", "False", "(8, 2)"), eight_records), "neither a type nor a list"},
        {npy_file(1, "{'descr': '<f8', 'shape': (8, 2)}", eight_records), "lacks"},
        {npy_file(1, "{'descr': '<f8', 'fortran_order': False, 'shape': (8, 2", eight_records), "no dictionary"},
        // Literals nested past eight deep are refused before they are read.
        {npy_file(1, dict("'<f8'", "False", "[[[[[[[[[(8, 2)]]]]]]]]]"), eight_records), "no dictionary"},
        {npy_file(4, dict("'<f8'", "False", "(8, 2)"), eight_records), "format version 4.0"},
        {long_header, "the file ends before"},
        {std::string("\x93NUMPY\x01\x00\x40", 9), "preamble"},
        {std::string("\x93NUMPY\x02\x00\x40\x00", 10), "preamble"},
        {std::string("\x93NUMPY\x02\x00\x00\x00\x20\x00{}", 14), "a header of 2097152 bytes"},
    };
    for (const auto& c : cases) {
        const LoadedField loaded = load(write("bad.npy", c.bytes));
        EXPECT_EQ(loaded.failure, LoadFailure::bad_array) << c.reason;
        EXPECT_NE(loaded.problem.find(c.reason), std::string::npos) << loaded.problem;
        EXPECT_EQ(loaded.field, nullptr);
    }
    ColumnRequest third;
    third.numbers = Columns{1, 3};
    third.chosen = true;
    const LoadedField loaded =
        load(write("two.npy", npy_file(1, dict("'<f8'", "False", "(8, 2)"), eight_records)), 1, third);
    EXPECT_EQ(loaded.failure, LoadFailure::bad_array);
    EXPECT_NE(loaded.problem.find("column 3"), std::string::npos) << loaded.problem;
    // An array of no records ends with its header, and lies about nothing.
    const LoadedField empty = load(write("empty.npy", npy_file(1, dict("'<f8'", "False", "(0, 2)"), "")));
    EXPECT_EQ(empty.failure, LoadFailure::none) << empty.problem;
    EXPECT_EQ(empty.counts.points, 0);
}

// A file cut while it is read is a changed file, never a read past its end.
TEST_F(NpyLoad, AFileCutWhileItIsReadIsChanged)
{
    const int rows = 400000;
    std::string records;
    const StoredType f8{"<f8", true, 8, false};
    for (int r = 0; r < rows; ++r)
        records += store(f8, 1000 + r % 2000) + store(f8, 1000 + r % 1999);
    const std::string path =
        write("cut.npy", npy_file(1, "{'descr': '<f8', 'fortran_order': False, 'shape': (400000, 2), }", records));
    for (const unsigned threads : {1u, 3u}) {
        write("cut.npy", npy_file(1, "{'descr': '<f8', 'fortran_order': False, 'shape': (400000, 2), }", records));
        FileCut cut{path.c_str(), 200};
        LoadRequest request;
        request.path = path;
        request.range = Range{0, 4000, 0, 4000};
        request.threads = threads;
        const LoadedField loaded = load_field(request, LoadWatch{nullptr, ReadWatch{FileCut::go_on, &cut}});
        EXPECT_TRUE(cut.done);
        EXPECT_EQ(loaded.failure, LoadFailure::changed);
        EXPECT_EQ(loaded.field, nullptr);
    }
}

// Zstandard made here, as the tool makes it.
std::string zstd_compressed(const std::string& bytes)
{
    std::string out(ZSTD_compressBound(bytes.size()), '\0');
    out.resize(ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 3));
    return out;
}

// The same array, each way it can come: mapped, read where mapping fails,
// decompressed, through a FIFO; all give the mapped file's field, with
// records skipped, a native byte-order mark, more skipped than held, and a
// header longer than the first look at a file takes.
TEST_F(NpyLoad, AnArrayThatIsNotMappedIsStillReadAsAnArray)
{
    const int rows = 20000;
    const StoredType f8{"<f8", true, 8, false}, u1{"|u1", false, 1, false};
    const std::vector<double> v = values(rows * 2, false, 4400);
    std::string doubles, bytes, doubles_text, bytes_text;
    for (int r = 0; r < rows; ++r) {
        doubles += store(f8, v[2 * r]) + store(f8, v[2 * r + 1]);
        bytes += store(u1, std::floor(v[2 * r] / 20)) + store(u1, std::floor(v[2 * r + 1] / 20));
    }
    const struct {
        const char* descr;
        const std::string* records;
        int skip;
        std::size_t header_spaces;
    } arrays[] = {
        {"=f8", &doubles, 0, 0},        {"<f8", &doubles, 7, 0},        {"|u1", &bytes, 3, 0},
        {"<f8", &doubles, rows + 5, 0}, {"<f8", &doubles, 0, 70 << 10},
    };
    for (const auto& a : arrays) {
        SCOPED_TRACE(testing::Message() << a.descr << " skip " << a.skip << " spaces " << a.header_spaces);
        const std::string npy =
            npy_file(a.header_spaces ? 2 : 1,
                     "{'descr': '" + std::string(a.descr) + "', 'fortran_order': False, 'shape': (20000, 2), }" +
                         std::string(a.header_spaces, ' '),
                     *a.records);
        const auto load_path = [&](const std::string& path) {
            LoadRequest request;
            request.path = path;
            request.range = Range{0, 4000, 0, 4000};
            request.skip_lines = a.skip;
            request.threads = 2;
            return load_field(request);
        };
        set_point_reader_chunk_bytes(64 << 10);
        const LoadedField mapped = load_path(write("a.npy", npy));
        ASSERT_TRUE(mapped.ok());
        EXPECT_EQ(mapped.counts.points, std::max(rows - a.skip, 0));
        data_file_test_fail_maps();
        expect_same(load_path(write("a.npy", npy)), mapped);
        // Named as no array, known by its bytes.
        expect_same(load_path(write("a.bin", npy)), mapped);
        data_file_test_reset();
        expect_same(load_path(write("a.npy.gz", gzipped(npy))), mapped);
        expect_same(load_path(write("a.data.zst", zstd_compressed(npy))), mapped);
        const std::string fifo = dir_.file("fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << npy; });
        const LoadedField piped = load_path(fifo);
        writer.join();
        expect_same(piped, mapped);
        fs::remove(fifo);
    }
}

// A stream that ends before its records, and headers refused on a pipe:
// refused with the reason, never read as text.
TEST_F(NpyLoad, AStreamedArrayIsRefusedNotReadAsText)
{
    // A refused pipe is closed before its writer is done.
    std::signal(SIGPIPE, SIG_IGN);
    std::string records;
    for (int r = 0; r < 5000; ++r)
        records += store(StoredType{"<f8", true, 8, false}, 1000 + r % 7) +
            store(StoredType{"<f8", true, 8, false}, 2000 + r % 5);
    const std::string whole = npy_file(1, "{'descr': '<f8', 'fortran_order': False, 'shape': (5000, 2), }", records);
    const std::string cut = whole.substr(0, whole.size() - 100);
    const auto load_path = [](const std::string& path, ColumnRequest columns = {}) {
        LoadRequest request;
        request.path = path;
        request.range = Range{0, 4000, 0, 4000};
        request.columns = columns;
        return load_field(request);
    };
    EXPECT_EQ(load_path(write("cut.npy.gz", gzipped(cut))).failure, LoadFailure::changed);
    EXPECT_EQ(load_path(write("cut.npy.zst", zstd_compressed(cut))).failure, LoadFailure::changed);
    data_file_test_fail_maps();
    EXPECT_EQ(load_path(write("cut.npy", cut)).failure, LoadFailure::bad_array);
    data_file_test_reset();

    ColumnRequest by_name;
    by_name.x_name = "x";
    by_name.y_name = "y";
    by_name.chosen = true;
    const struct {
        std::string bytes;
        ColumnRequest columns;
        LoadFailure failure;
        const char* problem;
    } piped[] = {
        {cut, {}, LoadFailure::changed, ""},
        {npy_file(1, "{'descr': '<f8', 'fortran_order': True, 'shape': (5000, 2), }", records),
         {},
         LoadFailure::bad_array,
         "it is stored column by column (Fortran order), which is read from a plain file only"},
        {whole, ColumnRequest{Columns{1, 3}, "", "", true, "", ""}, LoadFailure::bad_array,
         "column 3 asked for, the array has 2"},
        {npy_file(1, "{'descr': [('x', '<f8'), ('y', '<f8')], 'fortran_order': False, 'shape': (5000,), }", records),
         by_name, LoadFailure::none, ""},
        {"\x93NUM", {}, LoadFailure::none, ""}, // text, if short: no point
    };
    for (const auto& c : piped) {
        SCOPED_TRACE(c.problem);
        const std::string fifo = dir_.file("fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << c.bytes; });
        const LoadedField loaded = load_path(fifo, c.columns);
        writer.join();
        fs::remove(fifo);
        EXPECT_EQ(loaded.failure, c.failure);
        EXPECT_EQ(loaded.problem, c.problem);
        if (c.failure == LoadFailure::none && c.bytes.size() > 100) {
            EXPECT_EQ(loaded.counts.points, 5000);
            EXPECT_EQ(loaded.columns.x_name, "x");
        }
    }
}

} // namespace

// A fitted array whose extremes settle in its first part, or in pieces
// spread over it, is read once more than those, binned in the range
// guessed from them; a guess that a later point strays from gives way, and
// extremes that still move in both take a bounds pass. Every way gives the
// range and grid of a bounds pass and a load in the range it fits.
TEST_F(NpyLoad, AFittedArrayIsReadOnceWhereItsPartsSettledItsRange)
{
    constexpr int kPartMegabytes = 4;
    // The first part's megabytes, then three pieces spread over the array,
    // each a chunk and an ask more, which stops it; the last piece ends
    // with the array.
    constexpr int kPartAsks = kPartMegabytes + 2 + 2;
    field_loader_test_guess_sizes(4 << 20, kPartMegabytes);
    set_point_reader_chunk_bytes(1 << 20); // the watch is asked once a chunk
    const auto box = [](std::uint32_t& state) {
        state = state * 1664525u + 1013904223u;
        return 100 + double(state >> 8) / double(1 << 24) * 3800;
    };
    // How much is read: the first part and the array once; they and the
    // array twice (a bounds pass and a load, or a missed guess and a load
    // again); more than that (a guess given up part way, then both).
    enum Reads { once, twice, strayed };
    // A row's point, from one spread evenly in the box.
    struct Shape {
        static Point as_is(int, int, Point p) { return p; }
        static Point far_x_late(int row, int, Point p) { return row == 600000 ? Point{9000, p.y} : p; }
        static Point far_y_late(int row, int, Point p) { return row == 600000 ? Point{p.x, 9000} : p; }
        static Point top_x_late(int row, int, Point p) { return row == 600000 ? Point{4000, p.y} : p; }
        static Point far_x_first(int row, int, Point p) { return row < 1000 ? Point{9000, p.y} : p; }
        static Point narrow_x_later(int row, int, Point p)
        {
            return Point{row < 300000 ? 5 : 5 + (p.x - 100) / 3800 * 0.3, p.y};
        }
        static Point x_rising(int row, int rows, Point p) { return Point{100 + 3800.0 * row / rows, p.y}; }
        static Point y_creeping(int row, int rows, Point p) { return Point{p.x, p.y * (1 + 0.06 * row / rows)}; }
        // Cauchy's tails: each doubling of the points read reaches about
        // twice as far.
        static Point x_heavy_tails(int, int, Point p)
        {
            return Point{2000 + 0.05 * std::tan(3.14159 * ((p.x - 100) / 3800 - 0.5)), p.y};
        }
    };
    const StoredType f8{"<f8", true, 8, false}, f4{"<f4", true, 4, false};
    struct Case {
        const char* name;
        StoredType type;
        Point (*shape)(int row, int rows, Point box);
        Reads reads;
        BinningRule rule = BinningRule::bilinear;
        int skip = 0;
    } cases[] = {
        {"spread evenly in a box", f8, Shape::as_is, once},
        {"float32 in a box", f4, Shape::as_is, once},
        {"one far x late", f8, Shape::far_x_late, strayed},
        // A guess given up keeps the rule asked for.
        {"one far y late, the classic rule", f8, Shape::far_y_late, strayed, BinningRule::classic},
        // On the guess's top edge, which no point inside it reaches.
        {"one x at 4000 late", f8, Shape::top_x_late, strayed},
        // Records skipped are in no part.
        {"far x in the records skipped", f8, Shape::far_x_first, once, BinningRule::bilinear, 1000},
        // Spread over the array, the part holds what its first records
        // do not: x that narrows after them, rises, or y that creeps up.
        {"one x first, others near it later", f8, Shape::narrow_x_later, once},
        {"x rising through the file", f8, Shape::x_rising, once},
        {"y creeping up to the end", f8, Shape::y_creeping, once},
        // Tails that go on growing: no guess.
        {"x with heavy tails", f8, Shape::x_heavy_tails, twice},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int rows = (16 << 20) / (2 * c.type.size);
        std::uint32_t state = 99;
        std::string records;
        records.reserve(std::size_t(rows) * 2 * std::size_t(c.type.size));
        for (int r = 0; r < rows; ++r) {
            const double x = box(state);
            const Point p = c.shape(r, rows, Point{x, box(state)});
            records += store(c.type, p.x) + store(c.type, p.y);
        }
        const std::string path =
            write("fit.npy",
                  npy_file(1,
                           "{'descr': '" + std::string(c.type.descr) + "', 'fortran_order': False, 'shape': (" +
                               std::to_string(rows) + ", 2), }",
                           records));
        LoadRequest request;
        request.path = path;
        request.threads = 2;
        request.binning = c.rule;
        request.skip_lines = c.skip;
        Range fitted;
        LoadedField want;
        int whole = 0;
        ASSERT_TRUE(fit_by_bounds_pass(request, &fitted, &want, &whole));
        int asked;
        const LoadedField got = fit_counting_asks(request, &asked);
        EXPECT_TRUE(got.fitted);
        EXPECT_EQ(got.binning, c.rule);
        EXPECT_EQ(std::memcmp(&got.range, &fitted, sizeof fitted), 0)
            << got.range.x_min << " " << got.range.x_max << " " << got.range.y_min << " " << got.range.y_max;
        expect_same(got, want);
        if (c.reads == strayed)
            EXPECT_GT(asked, kPartAsks + 2 * whole);
        else
            EXPECT_EQ(asked, kPartAsks + (c.reads == once ? 1 : 2) * whole);
        if (c.reads == twice || c.type.size != 8)
            continue;
        // Stopped while the first part is read, while the pieces are, while
        // the guess is binned (a field, but not a fitted one), and in the
        // bounds pass after a guess given up (no field, and the range asked
        // for).
        const std::vector<int> stops = c.reads == strayed ? std::vector<int>{asked - whole - whole / 2}
                                                          : std::vector<int>{3, kPartAsks - 1, kPartAsks + 1};
        for (const int stop : stops) {
            struct Stop {
                int left;
                static bool go_on(void* context) { return --static_cast<Stop*>(context)->left > 0; }
            } watch{stop};
            request.range = Range{0, 1, 0, 1};
            request.fit_range = true;
            const LoadedField stopped = load_field(request, LoadWatch{nullptr, ReadWatch{Stop::go_on, &watch}});
            EXPECT_TRUE(stopped.counts.stopped) << stop;
            EXPECT_FALSE(stopped.fitted) << stop;
            EXPECT_EQ(stopped.field == nullptr, stop != kPartAsks + 1) << stop;
            EXPECT_EQ(std::memcmp(&stopped.range, &request.range, sizeof request.range) == 0, stop != kPartAsks + 1)
                << stop;
        }
    }
}

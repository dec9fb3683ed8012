// Loading a field as the viewer and the command line do, where the file
// does not hold still: cut while it is read, or a pipe that can be read once.
#include "field/field_loader.h"

#include <gtest/gtest.h>

#include "file_cut.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class FieldLoader : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/varnel-loader-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir_ = folder;
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    fs::path dir_;
};

// Lines of points inside the default range, `bytes` of them or a little over.
std::string lines_of(std::size_t bytes)
{
    std::string text;
    for (int i = 0; text.size() < bytes; ++i)
        text += std::to_string(1000 + i % 2000) + " " + std::to_string(1000 + i % 1999) + "\n";
    return text;
}

// A log rotated or a download restarted under the reader: a read error,
// never a crash, and no field of what was read, whether it was fitting or
// binning when the file shrank, on one thread or several.
TEST_F(FieldLoader, AFileCutWhileItIsReadIsAReadError)
{
    for (const bool fit : {false, true}) {
        for (const unsigned threads : {1u, 3u}) {
            SCOPED_TRACE(testing::Message() << "fit " << fit << ", threads " << threads);
            const std::string path = write("cut.txt", lines_of(std::size_t(6) << 20));
            FileCut cut{path.c_str(), 100};
            LoadRequest request;
            request.path = path;
            request.range = Range{0, 4000, 0, 4000};
            request.fit_range = fit;
            request.threads = threads;
            const LoadedField loaded = load_field(request, LoadWatch{nullptr, ReadWatch{FileCut::go_on, &cut}});
            EXPECT_TRUE(cut.done);
            EXPECT_EQ(loaded.failure, LoadFailure::changed);
            EXPECT_EQ(loaded.field, nullptr);
        }
    }
}

// Fitting reads a file twice: a pipe or a FIFO is refused with its reason
// rather than fitted to nothing (a pipe) or waited on for ever (a FIFO).
TEST_F(FieldLoader, FittingAFileThatReadsOnceIsRefused)
{
    const std::string fifo = (dir_ / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    for (const std::string& path : {fifo, "/proc/self/fd/" + std::to_string(ends[0])}) {
        LoadRequest request;
        request.path = path;
        request.fit_range = true;
        EXPECT_EQ(load_field(request).failure, LoadFailure::read_once) << path;
    }
    close(ends[0]);
    close(ends[1]);
}

} // namespace

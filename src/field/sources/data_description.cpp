#include "field/sources/data_description.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "field/sources/cell_sums_file.h"

namespace {

// Enough for the longest header line a reader takes and the rows after it,
// and for any array's header.
constexpr std::size_t kLookBytes = (std::size_t(1) << 20) + (std::size_t(64) << 10);

} // namespace

std::FILE* open_described(const char* path, int skip_lines, DataFileMeter* meter, DataDescription* description,
                          std::string* problem)
{
    *description = DataDescription{};
    problem->clear();
    struct stat facts;
    const bool known = stat(path, &facts) == 0;
    description->read_once = known && (S_ISFIFO(facts.st_mode) || S_ISCHR(facts.st_mode) || S_ISSOCK(facts.st_mode));
    errno = 0;
    std::FILE* stream = open_data_file(path, meter);
    if (!stream)
        return nullptr;
    std::string head;
    if (!peek_data_stream(&stream, kLookBytes, &head, holds_npy_header)) {
        const int error = errno ? errno : EIO;
        std::fclose(stream);
        errno = error;
        return nullptr;
    }
    // A file named as an array is one, or is refused as one.
    if (is_npy(head.data(), head.size()) || is_npy_name(path)) {
        description->kind = DataKind::array;
        const bool plain = known && S_ISREG(facts.st_mode) && !is_compressed_path(path);
        if (!parse_npy_header(head.data(), head.size(), &description->layout, problem) ||
            !npy_layout_fits(&description->layout, plain, known ? facts.st_size : -1, problem)) {
            std::fclose(stream);
            return nullptr;
        }
        return stream;
    }
    header_of_text(head, head.size() < kLookBytes, skip_lines, &description->header);
    std::vector<std::string> names;
    for (const HeaderColumn& column : description->header.columns)
        names.push_back(column.name);
    if (is_cell_sums_header(names))
        description->kind = DataKind::cell_sums;
    return stream;
}

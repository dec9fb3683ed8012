// The bytes of a .npy file, as NumPy writes them, for the tests to read.
#pragma once

#include <cstddef>
#include <string>

// A whole .npy file: preamble, the header padded as NumPy pads it, records.
inline std::string npy_file(int version, const std::string& dictionary, const std::string& records)
{
    const std::size_t preamble = version == 1 ? 10 : 12;
    std::string header = dictionary;
    while ((preamble + header.size() + 1) % 64 != 0)
        header += ' ';
    header += '\n';
    std::string file = "\x93NUMPY";
    file += char(version);
    file += '\0';
    for (std::size_t k = 0; k < (version == 1 ? 2u : 4u); ++k)
        file += char((header.size() >> (8 * k)) & 0xff);
    return file + header + records;
}

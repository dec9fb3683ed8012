// A stream holding the given bytes, as a data file opened for reading.
#pragma once

#include <cstdio>
#include <string>

struct TempStream {
    std::FILE* file;
    explicit TempStream(const std::string& bytes) : file(std::tmpfile())
    {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    ~TempStream() { std::fclose(file); }
    TempStream(const TempStream&) = delete;
    TempStream& operator=(const TempStream&) = delete;
};

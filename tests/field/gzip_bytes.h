// The bytes of a gzip file, as the gzip tool writes one, for the tests to
// read through the program's decompressing reader.
#pragma once

#include <zlib.h>

#include <string>

inline std::string gzipped(const std::string& bytes)
{
    z_stream z = {};
    deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(bytes.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

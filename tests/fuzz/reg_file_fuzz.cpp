// Random settings files through the registry's reader: no crash, no read
// past the input, and whatever it takes is written back as a file that
// reads as the same key. reg_file_seeds/ holds a file of every value type.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/win32/reg_file_format.h"

namespace {

bool same_key(const RegFileKey& a, const RegFileKey& b)
{
    if (a.path != b.path || a.values.size() != b.values.size())
        return false;
    for (size_t k = 0; k < a.values.size(); ++k) {
        const RegFileValue &x = a.values[k], &y = b.values[k];
        if (x.name != y.name || x.type != y.type || x.data != y.data)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RegFileKey key;
    if (!parse_reg_file(std::span<const char>(reinterpret_cast<const char*>(data), size), &key))
        return 0;
    const std::string text = format_reg_file(key);
    RegFileKey again;
    if (!parse_reg_file(std::span<const char>(text.data(), text.size()), &again) || !same_key(key, again))
        std::abort();
    return 0;
}

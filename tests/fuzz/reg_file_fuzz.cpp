// Random settings files through the registry's reader: no crash, no read
// past the input, and whatever it takes is written back as a file that
// reads as the same key. reg_file_seeds/ holds a file of every value type.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/win32/reg_file_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RegFileKey key;
    if (!parse_reg_file(std::span<const char>(reinterpret_cast<const char*>(data), size), &key))
        return 0;
    const std::string text = format_reg_file(key);
    RegFileKey again;
    if (!parse_reg_file(std::span<const char>(text.data(), text.size()), &again) || again != key)
        std::abort();
    return 0;
}

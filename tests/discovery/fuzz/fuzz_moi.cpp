// Fuzzer of the MO_I reply parser.

#include "discovery/SR.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    torvane::TDevInfo record;
    if (torvane::ParseMOIReply(std::string_view(reinterpret_cast<const char*>(data), size),
                               record)) {
        // A parsed record is a camera of type 2 whose name is empty or UTF-8.
        if (record.nType != 2 || (record.btDHCP != 1 && record.btDHCP != 2)) {
            __builtin_trap();
        }
    }
    return 0;
}

// Fuzzer of the CTP reply parser.

#include "discovery/SR.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    torvane::TDevInfo record;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)torvane::ParseCTPReply(text, record);
    // No field can be longer than the datagram it came from.
    if (record.nType != 5 || record.szName.size() > size || record.szID.size() > size ||
        record.szDdns.size() > size) {
        __builtin_trap();
    }
    return 0;
}

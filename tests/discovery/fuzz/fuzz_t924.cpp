// Fuzzer of the T-series search reply parser.

#include "series/SR_924.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    torvane::TDevInfo record;
    if (torvane::ParseT924Reply(data, size, record)) {
        if (record.nType != 9 || record.szID.size() != 17 || record.szIPAddr.size() > 16 ||
            record.szName.size() > 80) {
            __builtin_trap();
        }
    }
    return 0;
}

#pragma once
// Helpers of the benchmarks that time our code against a system tool by hand (no Google
// Benchmark): test files of noise, wall time of a call, the median of several runs.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

constexpr std::size_t MiB = 1024 * 1024;

// Writes bytes of noise (which no compression shrinks) to path.
inline bool WriteNoiseFile(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string block(MiB, '\0');
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (std::size_t done = 0; done < bytes; done += block.size()) {
        for (auto& c : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            c = static_cast<char>(x & 0xFF);
        }
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), bytes - done)));
    }
    return static_cast<bool>(out);
}

template <class F> double Seconds(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace bench

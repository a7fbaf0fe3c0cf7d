#pragma once
// Helpers of the benchmarks that time our code against a system tool by hand (no Google
// Benchmark): test files of noise, wall time of a call, the median of several runs, the
// number of runs asked for.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

constexpr std::size_t MiB = 1024 * 1024;

// Fills [data, data + size) with noise (which no compression shrinks), going on from the
// generator's state x, so that pieces filled one after the other make one stream.
inline void FillNoise(std::uint64_t& x, char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        data[i] = static_cast<char>(x & 0xFF);
    }
}

constexpr std::uint64_t NoiseSeed = 0x9E3779B97F4A7C15ull;

// bytes of noise in memory; with the default seed, the bytes WriteNoiseFile writes. Other
// (odd) seeds give other streams.
inline std::string Noise(std::size_t bytes, std::uint64_t seed = NoiseSeed) {
    std::string data(bytes, '\0');
    std::uint64_t x = seed;
    FillNoise(x, data.data(), data.size());
    return data;
}

// Writes bytes of noise to path, a MiB at a time.
inline bool WriteNoiseFile(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string block(MiB, '\0');
    std::uint64_t x = NoiseSeed;
    for (std::size_t done = 0; done < bytes; done += block.size()) {
        FillNoise(x, block.data(), block.size());
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), bytes - done)));
    }
    return static_cast<bool>(out);
}

// The N of "--runs N" when that is the whole command line (at least 1), else fallback.
inline int RunsOption(const std::vector<std::string>& args, int fallback) {
    if (args.size() == 2 && args[0] == "--runs") {
        return std::max(1, std::atoi(args[1].c_str()));
    }
    return fallback;
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

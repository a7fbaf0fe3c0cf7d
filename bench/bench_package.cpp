// The package checks on a firmware package of about 64 MiB: CheckMd5 against md5sum,
// UnzipPackage against unzip, and the check that lets a later run reuse the unpacked file
// (IsProvedFirmware) against sha256sum, on the same files, in the same run, with the
// ratios printed at the end (ours / theirs, wall time).
//
// UnzipPackage writes the firmware file to disk, computing its SHA-256 on the way, and
// flushes it before giving it its name; "unzip -p ... > /dev/null" only inflates.
// "unzip -o -d" (writes, no flush) is shown too.

#include "platform/Folders.h"
#include "upgrade/FirmwareProof.h"
#include "upgrade/Unzip.h"
#include "upgrade/md5.h"
#include "upgrade/uIUpgradeOpt.h"

#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

namespace {

constexpr std::size_t PayloadBytes = std::size_t{97} << 20;
constexpr std::size_t BlockBytes = 4096;

std::string GFolder;
std::string GPackage;
std::string GExpectedMd5;

// Firmware-like content: two blocks in three are noise, the rest is text that deflates.
bool WritePayload(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string block(BlockBytes, '\0');
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (std::size_t done = 0, n = 0; done < PayloadBytes; done += BlockBytes, ++n) {
        if (n % 3 != 2) {
            for (std::size_t i = 0; i < BlockBytes; i += 8) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                for (std::size_t b = 0; b < 8; ++b) {
                    block[i + b] = static_cast<char>((x >> (8 * b)) & 0xFF);
                }
            }
        } else {
            for (std::size_t i = 0; i < BlockBytes; ++i) {
                block[i] = "config table entry "[(i + n) % 19];
            }
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return static_cast<bool>(out);
}

bool Prepare() {
    const std::string temp = torvane::platform::TempFolder();
    if (temp.empty()) {
        std::cerr << "bench_package: no private temporary folder\n";
        return false;
    }
    GFolder = temp + "bench_package/";
    GPackage = GFolder + "package.zip";
    const std::string payload = GFolder + "fw.bin";
    if (std::system(("rm -rf " + Quoted(GFolder) + " && mkdir -p " + Quoted(GFolder + "out") +
                     " " + Quoted(GFolder + "unzip-out"))
                        .c_str()) != 0 ||
        !WritePayload(payload) ||
        std::system(("cd " + Quoted(GFolder) + " && zip -q package.zip fw.bin").c_str()) != 0) {
        std::cerr << "bench_package: cannot build the package in " << GFolder << "\n";
        return false;
    }
    std::remove(payload.c_str());
    std::ifstream in(GPackage, std::ios::binary | std::ios::ate);
    std::cout << "package: " << GPackage << ", " << (in.tellg() >> 20) << " MiB, unpacks to "
              << (PayloadBytes >> 20) << " MiB\n";
    torvane::TMd5 md5;
    in.seekg(0);
    std::string buf(1 << 20, '\0');
    while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
        md5.Update(buf.data(), static_cast<std::size_t>(in.gcount()));
    }
    GExpectedMd5 = torvane::DigestToHex(md5.Final());
    return true;
}

void BM_CheckMd5(benchmark::State& state) {
    for (auto _ : state) {
        if (!torvane::TUpgradeOpt::CheckMd5(GPackage, GExpectedMd5)) {
            state.SkipWithError("digest mismatch");
        }
    }
}

void BM_md5sum(benchmark::State& state) {
    for (auto _ : state) {
        RunShell(state, "md5sum " + Quoted(GPackage) + " > /dev/null");
    }
}

void BM_UnzipPackage(benchmark::State& state) {
    const std::string target = GFolder + "out/fw.bin";
    for (auto _ : state) {
        if (!torvane::TUpgradeOpt::UnzipPackage(GPackage, target)) {
            state.SkipWithError("unpacking failed");
        }
        state.PauseTiming();
        std::remove(target.c_str());
        state.ResumeTiming();
    }
}

void BM_IsProvedFirmware(benchmark::State& state) {
    const std::string target = GFolder + "proved/fw.bin";
    torvane::TUnpackedFile unpacked;
    std::string error;
    if (!torvane::platform::MakeFolder(GFolder + "proved") ||
        !torvane::UnzipEntry(GPackage, target, torvane::MaxUnpackedBytes, unpacked, error) ||
        !torvane::WriteFirmwareProof(target, {GExpectedMd5, unpacked.Sha256, unpacked.Size})) {
        state.SkipWithError(("cannot prepare the proved file: " + error).c_str());
        return;
    }
    for (auto _ : state) {
        if (!torvane::IsProvedFirmware(target, GExpectedMd5)) {
            state.SkipWithError("not proved");
        }
    }
}

void BM_sha256sum(benchmark::State& state) {
    for (auto _ : state) {
        RunShell(state, "sha256sum " + Quoted(GFolder + "proved/fw.bin") + " > /dev/null");
    }
}

void BM_unzip_p(benchmark::State& state) {
    for (auto _ : state) {
        RunShell(state, "unzip -p " + Quoted(GPackage) + " > /dev/null");
    }
}

void BM_unzip_d(benchmark::State& state) {
    for (auto _ : state) {
        RunShell(state, "unzip -o -q " + Quoted(GPackage) + " -d " + Quoted(GFolder + "unzip-out"));
    }
}

BENCHMARK(BM_CheckMd5)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_md5sum)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_UnzipPackage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);
BENCHMARK(BM_unzip_p)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);
BENCHMARK(BM_unzip_d)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);
BENCHMARK(BM_IsProvedFirmware)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_sha256sum)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    return RunComparison(argc, argv, Prepare,
                         {{"BM_CheckMd5", "BM_md5sum"},
                          {"BM_UnzipPackage", "BM_unzip_p"},
                          {"BM_UnzipPackage", "BM_unzip_d"},
                          {"BM_IsProvedFirmware", "BM_sha256sum"}},
                         GFolder);
}

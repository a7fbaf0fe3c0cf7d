// Firmware from a folder and the mirror, on a firmware folder of four packages of 24 MiB:
// FolderDownloadToFile of one package against cp; a first mirror run from that folder into
// an empty one against cp -r followed by md5sum of the copies; a second run, where every package is there already and only
// its MD5 is computed, against md5sum of the same files. Ratios (ours / theirs, wall time)
// at the end. The files are written once and stay in the page cache, so this measures our
// own cost, not the disk's.

#include "i18n/Deployment.h"
#include "platform/FolderSource.h"
#include "platform/Folders.h"
#include "upgrade/Mirror.h"
#include "upgrade/md5.h"

#include "BenchUtil.h"
#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

namespace {

constexpr std::size_t PackageBytes = std::size_t{24} << 20;
constexpr int Packages = 4;

std::string GFolder;
std::string GSource;

bool Prepare() {
    const std::string temp = torvane::platform::TempFolder();
    if (temp.empty()) {
        std::cerr << "bench_mirror: no private temporary folder\n";
        return false;
    }
    GFolder = temp + "bench_mirror/";
    GSource = GFolder + "source/";
    if (std::system(("rm -rf " + Quoted(GFolder) + " && mkdir -p " + Quoted(GSource + "system"))
                        .c_str()) != 0) {
        return false;
    }
    std::string catalogue;
    for (int i = 0; i < Packages; ++i) {
        const std::string name = "fw" + std::to_string(i) + ".zip";
        const std::string bytes = bench::Noise(PackageBytes, (bench::NoiseSeed * (i + 1)) | 1);
        std::ofstream(GSource + "system/" + name, std::ios::binary) << bytes;
        catalogue += "[model" + std::to_string(i) + "]\r\nSysVer=1." + std::to_string(i) +
                     "\r\nSysFile=" + name + "\r\nMD5=" + torvane::Md5Hex(bytes) + "\r\n";
    }
    std::ofstream(GSource + "system/firmware.txt", std::ios::binary) << catalogue;
    std::cout << "firmware folder: " << GSource << ", " << Packages << " packages of "
              << (PackageBytes >> 20) << " MiB\n";
    return true;
}

torvane::TMirrorResult Mirror(const std::string& destination) {
    torvane::TMirror mirror(torvane::ParseFirmwareSource(GSource), destination, {});
    return mirror.Run({});
}

void BM_FolderDownloadToFile(benchmark::State& state) {
    torvane::platform::THttpDownloadLimits limits;
    limits.MaxBytes = std::uint64_t{1} << 30;
    for (auto _ : state) {
        const auto r = torvane::platform::FolderDownloadToFile(GSource, {"system", "fw0.zip"},
                                                               GFolder + "copy.zip", limits);
        if (!r.Ok) {
            state.SkipWithError(r.ErrorText.c_str());
        }
    }
}

void BM_cp(benchmark::State& state) {
    for (auto _ : state) {
        RunShell(state, "cp " + Quoted(GSource + "system/fw0.zip") + " " +
                            Quoted(GFolder + "cp.zip"));
    }
}

void BM_MirrorFirstRun(benchmark::State& state) {
    const std::string destination = GFolder + "first/";
    for (auto _ : state) {
        state.PauseTiming();
        (void)std::system(("rm -rf " + Quoted(destination)).c_str());
        state.ResumeTiming();
        if (!Mirror(destination).Complete()) {
            state.SkipWithError("the mirror is not complete");
        }
    }
}

// What the first run does by other means: copy the folder, then check every package.
void BM_cp_r_md5sum(benchmark::State& state) {
    const std::string destination = GFolder + "cp-r";
    for (auto _ : state) {
        state.PauseTiming();
        (void)std::system(("rm -rf " + Quoted(destination)).c_str());
        state.ResumeTiming();
        RunShell(state, "cp -r " + Quoted(GSource) + " " + Quoted(destination) + " && md5sum " +
                            Quoted(destination) + "/system/*.zip > /dev/null");
    }
}

void BM_MirrorSecondRun(benchmark::State& state) {
    const std::string destination = GFolder + "second/";
    if (!Mirror(destination).Complete()) {
        state.SkipWithError("the first run is not complete");
        return;
    }
    for (auto _ : state) {
        const torvane::TMirrorResult r = Mirror(destination);
        if (!r.Complete() || r.Unchanged != Packages) {
            state.SkipWithError("a package was fetched again");
        }
    }
}

void BM_md5sum(benchmark::State& state) {
    for (auto _ : state) {
        RunShell(state, "md5sum " + Quoted(GSource) + "system/*.zip > /dev/null");
    }
}

BENCHMARK(BM_FolderDownloadToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_cp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_MirrorFirstRun)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_cp_r_md5sum)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_MirrorSecondRun)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_md5sum)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    return RunComparison(argc, argv, Prepare,
                         {{"BM_FolderDownloadToFile", "BM_cp"},
                          {"BM_MirrorFirstRun", "BM_cp_r_md5sum"},
                          {"BM_MirrorSecondRun", "BM_md5sum"}},
                         GFolder);
}

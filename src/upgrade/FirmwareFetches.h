#pragma once
// What the runs of one site upgrade fetch together: each catalogue folder's catalogue is
// read once, and a package whose download or check failed is not fetched again by every
// other camera that needs it. A package that succeeded needs nothing here: its unpacked
// file with its proof (FirmwareProof.h) is there for the next run, which finds it under
// the package's file lock (TUpgradeObject::DownloadFirmware).
//
// Every member is safe for concurrent use. The first run that asks for a catalogue
// fetches it; the others ask at the same time and wait for that one fetch.

#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace torvane {

class TFirmwareFetches {
public:
    TFirmwareFetches() = default;
    // Removes the catalogue copies.
    ~TFirmwareFetches();
    TFirmwareFetches(const TFirmwareFetches&) = delete;
    TFirmwareFetches& operator=(const TFirmwareFetches&) = delete;

    // A catalogue copy: the file's path, or empty with the reason it could not be had.
    struct TCatalogCopy {
        std::string Path;
        std::string Error;
    };
    // The local copy of the catalogue of folder (a checked single name), fetched from the
    // firmware source by the first caller into a fresh file in temp (the temporary folder);
    // later callers get the same copy, or the same reason. Kept until this object goes.
    [[nodiscard]] TCatalogCopy Catalog(const std::string& temp, const std::string& folder);

    // A package download that failed, and why, for the others that need the same package.
    struct TPackageFailure {
        int Result = 0;    // a TUpgradeObject::Download... result
        std::string Error; // the box's text; empty when none was shown
    };
    [[nodiscard]] std::optional<TPackageFailure> PackageFailure(const std::string& key) const;
    void RememberPackageFailure(const std::string& key, const TPackageFailure& failure);
    // The key of one package: folder, file name and expected MD5 (lower-cased).
    [[nodiscard]] static std::string PackageKey(const std::string& folder,
                                                const std::string& fileName,
                                                const std::string& md5);

    // How many catalogues were fetched (not taken from a copy). For tests and diagnostics.
    [[nodiscard]] std::size_t CatalogFetches() const;

private:
    struct TCatalogEntry {
        bool Done = false;
        TCatalogCopy Copy;
    };
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::map<std::string, TCatalogEntry> FCatalogs;
    std::map<std::string, TPackageFailure> FPackageFailures;
    std::size_t FCatalogFetches = 0;
};

} // namespace torvane

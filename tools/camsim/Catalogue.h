#pragma once

#include "FirmwareOffer.h"

#include <map>
#include <string>
#include <vector>

namespace camsim {

struct TServedFile {
    std::string ContentType;
    std::string Bytes;
    std::string Note; // for the start-up listing
};

// The firmware server's content, built from what the cameras want offered: one
// firmware.txt per folder ("system", each lower-case OEM name) with one INI section per
// camera model or version family, and one ZIP package per section holding the firmware file
// (the package name with ".bin" in place of its last four characters).
class TCatalogue {
public:
    // Throws TUsageError when two cameras need the same section with different content.
    explicit TCatalogue(const std::vector<TFirmwareOffer>& offers);

    // Paths below the server's /FM/ ("system/firmware.txt") to files.
    [[nodiscard]] const std::map<std::string, TServedFile>& Files() const { return FFiles; }
    // Offers that could not be listed, one line each ("camera ...: ...").
    [[nodiscard]] const std::vector<std::string>& Notes() const { return FNotes; }

private:
    struct TEntry {
        TFirmwareOffer Offer;
        std::vector<std::string> Excluded;
        std::string PackageName;
    };

    void Merge(const TFirmwareOffer& offer);
    void Publish();

    std::map<std::string, std::map<std::string, TEntry>> FFolders; // folder -> section -> entry
    std::map<std::string, TServedFile> FFiles;
    std::vector<std::string> FNotes;
};

} // namespace camsim

#include "Catalogue.h"

#include "Error.h"
#include "Md5.h"
#include "ZipPackage.h"

#include <set>

namespace camsim {

TCatalogue::TCatalogue(const std::vector<TFirmwareOffer>& offers) {
    for (const TFirmwareOffer& offer : offers) {
        if (offer.Section.empty()) {
            FNotes.push_back(offer.Owner + ": no " + KindName(offer.Kind) +
                             " catalogue entry, " + offer.SectionNote);
            continue;
        }
        Merge(offer);
    }
    Publish();
}

void TCatalogue::Merge(const TFirmwareOffer& offer) {
    auto& sections = FFolders[offer.Folder];
    const auto found = sections.find(offer.Section);
    if (found == sections.end()) {
        TEntry entry{offer, {}, {}};
        if (!offer.ExcludedVersion.empty()) {
            entry.Excluded.push_back(offer.ExcludedVersion);
        }
        sections.emplace(offer.Section, std::move(entry));
        return;
    }
    // Cameras of one model or version family share the section: fine as long as they want
    // the same thing from it.
    TEntry& entry = found->second;
    const TFirmwareOffer& first = entry.Offer;
    const bool same = first.Version == offer.Version && first.Image == offer.Image &&
                      first.BadMd5 == offer.BadMd5 && first.BadZip == offer.BadZip &&
                      first.ExcludedVersion.empty() == offer.ExcludedVersion.empty();
    if (!same) {
        throw TUsageError(first.Owner + " and " + offer.Owner + " share the catalogue section [" +
                          offer.Section + "] of folder " + offer.Folder +
                          " but need different entries there (offered version, series or "
                          "catalogue faults); give them different versions or models");
    }
    if (!offer.ExcludedVersion.empty()) {
        entry.Excluded.push_back(offer.ExcludedVersion);
    }
}

namespace {

std::string JoinExcluded(const std::vector<std::string>& versions) {
    std::string out;
    for (const std::string& version : versions) {
        out += (out.empty() ? "" : ",") + version;
    }
    return out;
}

} // namespace

void TCatalogue::Publish() {
    std::set<std::string> usedNames;
    for (auto& [folder, sections] : FFolders) {
        std::string text;
        for (auto& [section, entry] : sections) {
            const TFirmwareOffer& offer = entry.Offer;
            const bool system = offer.Kind == EFirmwareKind::System;
            std::string base = offer.PackagePrefix + "-" + section + "-" + offer.Version;
            std::string name = base + ".zip";
            for (int copy = 2; usedNames.count(folder + "/" + name) != 0; ++copy) {
                name = base + "-" + std::to_string(copy) + ".zip";
            }
            usedNames.insert(folder + "/" + name);
            entry.PackageName = name;
            const std::string inner = name.substr(0, name.size() - 4) + offer.FileExtension;

            std::string package;
            if (offer.BadZip) {
                for (int i = 0; i < 32; ++i) {
                    package += "This firmware package is damaged: it is not a ZIP archive.\r\n";
                }
            } else {
                package = BuildZipPackage(inner, offer.Image);
            }
            std::string md5 = Md5Hex(package);
            if (offer.BadMd5) {
                md5 = Md5Hex(package + "damaged on the server");
            }
            text += "[" + section + "]\r\n";
            text += std::string(system ? "SysVer=" : "AppVer=") + offer.Version + "\r\n";
            text += std::string(system ? "SysFile=" : "AppFile=") + name + "\r\n";
            text += "MD5=" + md5 + "\r\n";
            text += "NO=" + JoinExcluded(entry.Excluded) + "\r\n\r\n";

            std::string note = "section [" + section + "] " + KindName(offer.Kind) + " " +
                               offer.Version + ", holds " + inner + ", md5 " + Md5Hex(package);
            if (offer.BadMd5) {
                note += ", catalogue md5 wrong (fault bad-md5)";
            }
            if (offer.BadZip) {
                note += ", not a ZIP (fault bad-zip)";
            }
            if (!entry.Excluded.empty()) {
                note += ", NO=" + JoinExcluded(entry.Excluded) + " (fault excluded)";
            }
            FFiles[folder + "/" + name] = TServedFile{"application/zip", package, note};
        }
        FFiles[folder + "/firmware.txt"] =
            TServedFile{"text/plain", text, std::to_string(sections.size()) + " section(s)"};
    }
}

} // namespace camsim

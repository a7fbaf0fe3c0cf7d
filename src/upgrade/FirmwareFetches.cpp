#include "upgrade/FirmwareFetches.h"

#include "i18n/Deployment.h"
#include "platform/Diag.h"
#include "platform/File.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "upgrade/uIUpgrade.h"
#include "upgrade/uIUpgradeOpt.h"

namespace torvane {

TFirmwareFetches::~TFirmwareFetches() {
    for (const auto& [folder, entry] : FCatalogs) {
        if (!entry.Copy.Path.empty()) {
            (void)platform::RemoveFile(entry.Copy.Path);
        }
    }
}

TFirmwareFetches::TCatalogCopy TFirmwareFetches::Catalog(const std::string& temp,
                                                         const std::string& folder) {
    {
        std::unique_lock<std::mutex> g(FLock);
        auto [it, inserted] = FCatalogs.try_emplace(folder);
        if (!inserted) {
            // Another run fetches it or has fetched it: wait for that one.
            FChanged.wait(g, [&] { return FCatalogs.at(folder).Done; });
            return FCatalogs.at(folder).Copy;
        }
        ++FCatalogFetches;
    }
    TCatalogCopy copy;
    {
        // A fresh name per site upgrade: two program copies, or two sites, never share it.
        platform::TFile fresh =
            platform::TFile::CreateFreshBeside(temp + "Firmware.ini", ".catalog", 0600);
        if (!fresh.IsOpen()) {
            copy.Error = platform::ErrorText(fresh.OpenError());
        } else {
            copy.Path = fresh.FreshPath();
        }
    }
    if (!copy.Path.empty() &&
        !TUpgradeOpt::FetchFromSource(FirmwareSource(), folder, CatalogFileName, copy.Path,
                                      EDownloadKind::Catalog, copy.Error)) {
        (void)platform::RemoveFile(copy.Path);
        copy.Path.clear();
    }
    {
        std::lock_guard<std::mutex> g(FLock);
        TCatalogEntry& entry = FCatalogs.at(folder);
        entry.Copy = copy;
        entry.Done = true;
    }
    FChanged.notify_all();
    return copy;
}

std::optional<TFirmwareFetches::TPackageFailure>
TFirmwareFetches::PackageFailure(const std::string& key) const {
    std::lock_guard<std::mutex> g(FLock);
    const auto it = FPackageFailures.find(key);
    if (it == FPackageFailures.end()) {
        return std::nullopt;
    }
    return it->second;
}

void TFirmwareFetches::RememberPackageFailure(const std::string& key,
                                              const TPackageFailure& failure) {
    std::lock_guard<std::mutex> g(FLock);
    FPackageFailures[key] = failure;
}

std::string TFirmwareFetches::PackageKey(const std::string& folder, const std::string& fileName,
                                         const std::string& md5) {
    // Neither part can hold "/" (both are checked single names), so the key is unambiguous.
    return folder + "/" + fileName + "/" + platform::LowerAscii(md5);
}

std::size_t TFirmwareFetches::CatalogFetches() const {
    std::lock_guard<std::mutex> g(FLock);
    return FCatalogFetches;
}

} // namespace torvane

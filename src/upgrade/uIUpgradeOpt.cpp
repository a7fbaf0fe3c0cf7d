#include "upgrade/uIUpgradeOpt.h"

#include "i18n/StrRes.h"
#include "platform/File.h"
#include "platform/Host.h"
#include "platform/Folders.h"
#include "platform/FolderSource.h"
#include "platform/Http.h"
#include "platform/Text.h"
#include "upgrade/Progress.h"
#include "upgrade/md5.h"
#include "upgrade/uIUpgrade.h"

#include <vector>

namespace torvane {

namespace {

platform::THttpDownloadLimits LimitsOf(EDownloadKind kind) {
    platform::THttpDownloadLimits limits;
    limits.ConnectTimeoutMs = TUpgradeOpt::ConnectTimeoutMs;
    if (kind == EDownloadKind::Catalog) {
        limits.OverallTimeoutMs = TUpgradeOpt::CatalogTimeoutMs;
        limits.MaxBytes = TUpgradeOpt::MaxCatalogBytes;
    } else {
        limits.RateWindowMs = TUpgradeOpt::RateWindowMs;
        limits.MinWindowBytes = TUpgradeOpt::MinBytesPerSecond * (TUpgradeOpt::RateWindowMs / 1000);
        limits.MaxBytes = TUpgradeOpt::MaxPackageBytes;
        limits.Progress = [](std::uint64_t done, std::uint64_t total) {
            ReportProgress(EUpgradePhase::Download, done, total);
        };
    }
    return limits;
}

// The reason of a failed download as the user reads it: the limits and refusals in the
// current language, everything else in the HTTP client's or the system's words.
std::string FailureText(const platform::THttpDownloadResult& r) {
    switch (r.Failure) {
    case platform::EDownloadFailure::TooLarge:
        return GetStrRes("IDS_DOWNTOOLARGE");
    case platform::EDownloadFailure::TimedOut:
        return GetStrRes("IDS_DOWNTIMEOUT");
    case platform::EDownloadFailure::TooSlow:
        return GetStrRes("IDS_DOWNTOOSLOW");
    case platform::EDownloadFailure::NotPlainFile:
        return platform::ReplaceAll(GetStrRes("IDS_DOWNNOTFILE"), "%s", r.Where);
    default:
        return r.ErrorText;
    }
}

} // namespace

void TUpgradeOpt::ShowDownloadError(const std::string& text) {
    platform::Host().MessageBox(text, ErrorCaption, platform::MB_ICONERROR);
}

bool TUpgradeOpt::FetchUrl(const std::string& url, const std::string& path, EDownloadKind kind,
                           std::string& errorText) {
    const platform::THttpDownloadResult r =
        platform::HttpDownloadToFile(url, path, UserAgent, LimitsOf(kind));
    errorText = r.Ok ? std::string() : FailureText(r);
    return r.Ok;
}

bool TUpgradeOpt::DownloadToFile(const std::string& url, const std::string& path,
                                 EDownloadKind kind) {
    std::string text;
    if (FetchUrl(url, path, kind, text)) {
        return true;
    }
    ShowDownloadError(text);
    return false;
}

bool TUpgradeOpt::FetchFromSource(const TFirmwareSource& source, const std::string& folder,
                                  const std::string& name, const std::string& path,
                                  EDownloadKind kind, std::string& errorText) {
    switch (source.Kind) {
    case EFirmwareSourceKind::Http:
        return FetchUrl(source.Location + UrlPathSegment(folder) + "/" + UrlPathSegment(name),
                        path, kind, errorText);
    case EFirmwareSourceKind::Folder: {
        const platform::THttpDownloadResult r =
            platform::FolderDownloadToFile(source.Location, {folder, name}, path, LimitsOf(kind));
        errorText = r.Ok ? std::string() : FailureText(r);
        return r.Ok;
    }
    case EFirmwareSourceKind::Invalid:
        break;
    }
    // Nothing to fetch from; the file is left empty, as after any failed download.
    (void)platform::WriteFileAtomic(path, "");
    errorText = platform::ReplaceAll(GetStrRes("IDS_BADSOURCE"), "%s", source.Setting);
    return false;
}

bool TUpgradeOpt::DownloadFromSource(const std::string& folder, const std::string& name,
                                     const std::string& path, EDownloadKind kind) {
    std::string text;
    if (FetchFromSource(FirmwareSource(), folder, name, path, kind, text)) {
        return true;
    }
    ShowDownloadError(text);
    return false;
}

bool TUpgradeOpt::CheckMd5(const std::string& path, const std::string& expected) {
    TMd5 md5;
    platform::TFile file = platform::TFile::OpenForReading(path);
    if (file.IsOpen()) {
        std::vector<char> buf(1 << 20);
        for (;;) {
            const platform::TIoResult n = file.Read(buf.data(), buf.size());
            if (!n.Ok() || n.Count == 0) {
                break;
            }
            md5.Update(buf.data(), n.Count);
        }
    }
    return DigestToHex(md5.Final()) == platform::LowerAscii(expected);
}

} // namespace torvane

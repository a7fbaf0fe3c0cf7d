#pragma once
// Firmware downloads, from the firmware server or a firmware folder, and the package
// checks: the digest of a package and its unpacking.

#include "i18n/Deployment.h"

#include <cstdint>
#include <string>

namespace torvane {

// Which limits a download runs under.
enum class EDownloadKind {
    // A package: aborted when its average rate over the last RateWindowMs drops below
    // MinBytesPerSecond.
    Package,
    // The catalogue: at most MaxCatalogBytes, within CatalogTimeoutMs overall.
    Catalog,
};

class TUpgradeOpt {
public:
    TUpgradeOpt() = delete;

    static constexpr const char* UserAgent =
        "Mozilla/4.0(compatible; MSIE 6.0; Windows 98; Maxthon)";
    // A firmware server that does not answer within this time counts as unreachable.
    static constexpr int ConnectTimeoutMs = 30000;
    // A package download slower than MinBytesPerSecond on average over the last
    // RateWindowMs is aborted.
    static constexpr int RateWindowMs = 60000;
    static constexpr std::uint64_t MinBytesPerSecond = 1024;
    // The catalogue: far above any real one, far below what fills a disk.
    static constexpr std::uint64_t MaxCatalogBytes = std::uint64_t{1} << 20;
    // A package: twice what unpacking ever writes (MaxUnpackedBytes), so a package whose
    // firmware file is stored uncompressed beside a few notes still fits, and an endless
    // file (a server that never stops, /dev/zero linked into a folder) does not fill the disk.
    static constexpr std::uint64_t MaxPackageBytes = std::uint64_t{1} << 30;
    static constexpr int CatalogTimeoutMs = 60000;
    // Error-box caption of a failed download.
    static constexpr const char* ErrorCaption = "错误";

    // GET url into the file at path (replaced when present; a link there is replaced, never
    // followed), following redirects, under the limits of its kind. On any failure: an error
    // box with the reason (for an HTTP error status the server's status line; for a limit,
    // its text in the current language), an empty file left at path, false.
    static bool DownloadToFile(const std::string& url, const std::string& path,
                               EDownloadKind kind = EDownloadKind::Package);
    // The same without the box: false with the reason in errorText.
    static bool FetchUrl(const std::string& url, const std::string& path, EDownloadKind kind,
                         std::string& errorText);

    // Fetches the file `name` of the catalogue folder `folder` (both single names: the
    // callers check them) from the firmware source into path, under the limits of kind:
    // from an http(s) source the URL Location + folder + "/" + name, each part
    // percent-encoded as one path segment; from a folder source that file, never through a
    // link, a pipe or a device (platform::FolderDownloadToFile). False, with the reason in
    // errorText (limits and refusals in the current language), and an empty file at path.
    static bool FetchFromSource(const TFirmwareSource& source, const std::string& folder,
                                const std::string& name, const std::string& path,
                                EDownloadKind kind, std::string& errorText);
    // The same from the current setting (FirmwareSource()), with the error box on failure:
    // what an upgrade run does. A folder that does not exist, or has no such file, fails
    // the way an unreachable server does.
    static bool DownloadFromSource(const std::string& folder, const std::string& name,
                                   const std::string& path, EDownloadKind kind);

    // The error box of a failed download, with the reason's text.
    static void ShowDownloadError(const std::string& text);

    // True when the MD5 digest of the file, as 32 lower-case hex digits, equals expected
    // lower-cased (not trimmed). A file that cannot be read has the digest of no data.
    [[nodiscard]] static bool CheckMd5(const std::string& path, const std::string& expected);

    // Unpacks from the ZIP package the entry named like the target file, at the archive's top
    // level, to the target (see UnzipEntry); true when the target file exists afterwards.
    [[nodiscard]] static bool UnzipPackage(const std::string& package, const std::string& target);
};

} // namespace torvane

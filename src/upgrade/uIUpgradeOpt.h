#pragma once
// Firmware server downloads and the package checks: the digest of a package and its
// unpacking.

#include <string>

namespace torvane {

class TUpgradeOpt {
public:
    TUpgradeOpt() = delete;

    static constexpr const char* UserAgent =
        "Mozilla/4.0(compatible; MSIE 6.0; Windows 98; Maxthon)";
    // A firmware server that does not answer within this time counts as unreachable.
    static constexpr int ConnectTimeoutMs = 30000;
    // A transfer that moves less than one byte per second for this long is aborted.
    static constexpr int StallTimeoutMs = 60000;
    // Error-box caption of a failed download.
    static constexpr const char* ErrorCaption = "错误";

    // GET url into the file at path (created first, replaced if present), following
    // redirects. On any failure: an error box with the reason (for an HTTP error status the
    // server's status line), the file left empty, false.
    static bool DownloadToFile(const std::string& url, const std::string& path);

    // True when the MD5 digest of the file, as 32 lower-case hex digits, equals expected
    // lower-cased (not trimmed). A file that cannot be read has the digest of no data.
    [[nodiscard]] static bool CheckMd5(const std::string& path, const std::string& expected);

    // Unpacks every entry of the ZIP package into the target's folder; true when the target
    // file exists afterwards.
    [[nodiscard]] static bool UnzipPackage(const std::string& package, const std::string& target);
};

} // namespace torvane

#include "upgrade/uIUpgradeOpt.h"

#include "i18n/StrRes.h"
#include "platform/Host.h"
#include "platform/Http.h"
#include "platform/Text.h"
#include "upgrade/md5.h"

#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace torvane {

bool TUpgradeOpt::DownloadToFile(const std::string& url, const std::string& path,
                                 EDownloadKind kind) {
    platform::THttpDownloadLimits limits;
    limits.ConnectTimeoutMs = ConnectTimeoutMs;
    if (kind == EDownloadKind::Catalog) {
        limits.OverallTimeoutMs = CatalogTimeoutMs;
        limits.MaxBytes = MaxCatalogBytes;
    } else {
        limits.RateWindowMs = RateWindowMs;
        limits.MinWindowBytes = MinBytesPerSecond * (RateWindowMs / 1000);
    }
    const platform::THttpDownloadResult r =
        platform::HttpDownloadToFile(url, path, UserAgent, limits);
    if (r.Ok) {
        return true;
    }
    std::string text = r.ErrorText;
    switch (r.Failure) {
    case platform::EDownloadFailure::TooLarge:
        text = GetStrRes("IDS_DOWNTOOLARGE");
        break;
    case platform::EDownloadFailure::TimedOut:
        text = GetStrRes("IDS_DOWNTIMEOUT");
        break;
    case platform::EDownloadFailure::TooSlow:
        text = GetStrRes("IDS_DOWNTOOSLOW");
        break;
    default:
        break;
    }
    platform::Host().MessageBox(text, ErrorCaption, platform::MB_ICONERROR);
    return false;
}

bool TUpgradeOpt::CheckMd5(const std::string& path, const std::string& expected) {
    TMd5 md5;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        std::vector<char> buf(1 << 20);
        for (;;) {
            const ssize_t n = ::read(fd, buf.data(), buf.size());
            if (n <= 0) {
                break;
            }
            md5.Update(buf.data(), static_cast<std::size_t>(n));
        }
        ::close(fd);
    }
    return DigestToHex(md5.Final()) == platform::LowerAscii(expected);
}

} // namespace torvane

#include "upgrade/uIUpgradeOpt.h"

#include "platform/Host.h"
#include "platform/Http.h"
#include "platform/Text.h"
#include "upgrade/md5.h"

#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace torvane {

bool TUpgradeOpt::DownloadToFile(const std::string& url, const std::string& path) {
    std::string error;
    if (platform::HttpDownloadToFile(url, path, UserAgent, ConnectTimeoutMs, StallTimeoutMs,
                                     error)) {
        return true;
    }
    platform::Host().MessageBox(error, ErrorCaption, platform::MB_ICONERROR);
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

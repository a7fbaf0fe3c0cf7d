// The T-series client's operations that are not built yet: the settings operations and the
// firmware uploads. Each reports failure until its real body replaces it here; then this
// file goes away.

#include "series/SR_924.h"

namespace torvane {

bool TT924Series::SetNetworkByBroadcast(const std::string&, std::uint16_t, const std::string&,
                                        const std::string&, const TDevInfo&, const TDevInfo&) {
    return false; // not yet built
}

bool TT924Series::CheckLogin(const std::string&, const std::string&, const std::string&) {
    return false; // not yet built
}

bool TT924Series::SetFactoryParams(const std::string&, const std::string&, const TDevInfo&,
                                   const TDevInfo&, const std::string&) {
    return false; // not yet built
}

bool TT924Series::RestoreDefaults(const std::string&, const std::string&) {
    return false; // not yet built
}

std::int32_t TT924Series::ScanWifi(const std::string&, const std::string&,
                                   std::vector<TWifiListEntry>&) {
    return -1; // not yet built
}

TWifiParams* TT924Series::GetWifiParams(const std::string&, const std::string&) {
    return nullptr; // not yet built
}

std::int32_t TT924Series::SetWifiParams(const std::string&, const std::string&) {
    return 0; // not yet built
}

TFactoryParams* TT924Series::GetFactoryParams(const std::string&, const std::string&, bool) {
    return nullptr; // not yet built
}

std::uint8_t TT924Series::SetDdns(const std::string&, const std::string&) {
    return 2; // not yet built ("not answered")
}

bool TT924Series::UploadSystemFirmware(const std::string&, const std::string&,
                                       const std::string&, const std::string&) {
    return false; // not yet built
}

bool TT924Series::UploadUIFirmware(const std::string&, const std::string&, const std::string&,
                                   const std::string&) {
    return false; // not yet built
}

bool TT924Series::RefreshDevice(std::int32_t, std::int32_t, const std::string&,
                                const std::string&, TDevInfo*&) {
    return false; // not yet built
}

} // namespace torvane

#pragma once

#include "Camera.h"

namespace camsim {

// F series: /get_status.cgi without credentials, with sys_ver and app_ver in single quotes;
// uploads to /upgrade_htmls.cgi (UI) and /upgrade_firmware.cgi (system) with the account
// in the query (?user=..&pwd=..&next_url=reboot.htm). Only files with the right signature
// are taken: BD 9A 0C 44 for UI firmware, "BNEG" for system firmware.
class TFCamera : public TCamera {
public:
    using TCamera::TCamera;

protected:
    std::optional<THttpResponse> HandleSeriesPage(const THttpRequest& request) override;
    std::string Signature(EFirmwareKind kind) const override;
    std::string CatalogueSection(EFirmwareKind kind, std::string& note) const override;
    std::string ReportedVersion(EFirmwareKind kind) const override;
};

} // namespace camsim

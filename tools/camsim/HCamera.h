#pragma once

#include "Camera.h"

namespace camsim {

// H series: /get_status.cgi without credentials, with sys_ver in double quotes; /appver.js
// with Basic credentials; uploads to /cgi-bin/upgrade_htmls.cgi (UI) and
// /cgi-bin/upgrade_firmware.cgi (system) with Basic credentials (401 when wrong). Any file
// of at least four bytes is accepted; only its own firmware ("HWEB" for UI, "HSYS" for
// system, with a VERSION line) changes the version.
class THCamera : public TCamera {
public:
    using TCamera::TCamera;

protected:
    std::optional<THttpResponse> HandleSeriesPage(const THttpRequest& request) override;
    std::string Signature(EFirmwareKind kind) const override;
    std::string CatalogueSection(EFirmwareKind kind, std::string& note) const override;
    std::string ReportedVersion(EFirmwareKind kind) const override;
};

} // namespace camsim

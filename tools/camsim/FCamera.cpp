#include "FCamera.h"

#include "Version.h"

namespace camsim {

namespace {

const TSeriesRegistrar Registrar(TSeriesInfo{
    "F", "status page with single-quoted versions, uploads with the account in the query",
    "1.2.3.4", "2.0.1.3",
    [](const TCameraContext& context, const TCameraConfig& config, const TSeriesInfo& series) {
        return std::unique_ptr<TCamera>(new TFCamera(context, config, series));
    }});

} // namespace

std::optional<THttpResponse> TFCamera::HandleSeriesPage(const THttpRequest& request) {
    if (request.Path == "/get_status.cgi") {
        if (request.Method != "GET" && request.Method != "HEAD") {
            return THttpResponse::Page(405, "Method Not Allowed");
        }
        return THttpResponse::Text(200, "text/plain",
                                   "var id='CAMSIM" + Endpoint().Address() + "';\r\n"
                                   "var sys_ver='" + SysVersion() + "';\r\n"
                                   "var app_ver='" + UiVersion() + "';\r\n"
                                   "var alias='camsim';\r\n");
    }
    const bool ui = request.Path == "/upgrade_htmls.cgi";
    if (ui || request.Path == "/upgrade_firmware.cgi") {
        if (request.Method != "POST") {
            return THttpResponse::Page(405, "Method Not Allowed");
        }
        if (!QueryAuthorized(request)) {
            return Unauthorized();
        }
        return ReceiveUpload(request, ui ? EFirmwareKind::Ui : EFirmwareKind::System,
                             EForeignFile::Refuse);
    }
    return std::nullopt;
}

std::string TFCamera::Signature(EFirmwareKind kind) const {
    return kind == EFirmwareKind::Ui ? std::string("\xBD\x9A\x0C\x44", 4) : std::string("BNEG");
}

std::string TFCamera::CatalogueSection(EFirmwareKind kind, std::string& note) const {
    // The status page carries no model, so the version family names the section.
    const std::string& version = kind == EFirmwareKind::System ? SysVersion() : UiVersion();
    const std::string family = VersionFamily(version);
    if (family.empty()) {
        note = "its " + KindName(kind) + " version " + version + " has no \".\"";
    }
    return family;
}

std::string TFCamera::ReportedVersion(EFirmwareKind kind) const {
    return kind == EFirmwareKind::System ? SysVersion() : UiVersion();
}

} // namespace camsim

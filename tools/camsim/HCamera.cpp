#include "HCamera.h"

#include "Text.h"
#include "Version.h"

namespace camsim {

namespace {

const TSeriesRegistrar Registrar(TSeriesInfo{
    "H", "status page with double-quoted sys_ver, /appver.js, uploads under /cgi-bin with "
         "Basic credentials",
    "V2.1.0.9", "3.1.0.5",
    [](const TCameraContext& context, const TCameraConfig& config, const TSeriesInfo& series) {
        return std::unique_ptr<TCamera>(new THCamera(context, config, series));
    }});

} // namespace

std::optional<THttpResponse> THCamera::HandleSeriesPage(const THttpRequest& request) {
    const bool read = request.Method == "GET" || request.Method == "HEAD";
    if (request.Path == "/get_status.cgi") {
        if (!read) {
            return THttpResponse::Page(405, "Method Not Allowed");
        }
        return THttpResponse::Text(200, "text/plain",
                                   "var alias=\"camsim\";\r\nvar sys_ver=\"" + SysVersion() +
                                       "\";\r\nvar upnp_status=0;\r\n");
    }
    if (request.Path == "/appver.js") {
        if (!read) {
            return THttpResponse::Page(405, "Method Not Allowed");
        }
        return AppVerPage(request);
    }
    const bool ui = request.Path == "/cgi-bin/upgrade_htmls.cgi";
    if (ui || request.Path == "/cgi-bin/upgrade_firmware.cgi") {
        if (request.Method != "POST") {
            return THttpResponse::Page(405, "Method Not Allowed");
        }
        if (!BasicAuthorized(request)) {
            return Unauthorized();
        }
        return ReceiveUpload(request, ui ? EFirmwareKind::Ui : EFirmwareKind::System,
                             EForeignFile::AcceptUnchanged);
    }
    return std::nullopt;
}

std::string THCamera::Signature(EFirmwareKind kind) const {
    return kind == EFirmwareKind::Ui ? "HWEB" : "HSYS";
}

std::string THCamera::CatalogueSection(EFirmwareKind kind, std::string& note) const {
    // The upgrade tool names the section by app_model when the camera has one, else by
    // the family of the version it read.
    if (!Config().Model.empty()) {
        return Config().Model;
    }
    const std::string version = ReportedVersion(kind);
    const std::string family = VersionFamily(version);
    if (family.empty()) {
        note = "its " + KindName(kind) + " version " + version + " has no \".\" and it has no model";
    }
    return family;
}

std::string THCamera::ReportedVersion(EFirmwareKind kind) const {
    if (kind == EFirmwareKind::System) {
        return SysVersion(); // taken as it stands between the double quotes, "V" and all
    }
    // From app_ver="v...": the tool drops every lower-case "v" and trims.
    std::string version;
    for (const char c : "v" + UiVersion()) {
        if (c != 'v') {
            version += c;
        }
    }
    return Trim(version);
}

} // namespace camsim

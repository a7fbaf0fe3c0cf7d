#include "Camera.h"

#include "BasicAuth.h"
#include "Console.h"
#include "Error.h"
#include "FirmwareImage.h"
#include "Multipart.h"
#include "Text.h"
#include "Version.h"

#include <cmath>

namespace camsim {

TCamera::TCamera(const TCameraContext& context, const TCameraConfig& config,
                 const TSeriesInfo& series)
    : FContext(context), FConfig(config), FSeries(series),
      FSysVersion(config.SysVersion.value_or(series.DefaultSysVersion)),
      FUiVersion(config.UiVersion.value_or(series.DefaultUiVersion)),
      FServer(context.Loop, TLoopbackEndpoint::Parse(config.Ip, config.Port, "camera address"),
              *this, "camera " + series.Letter, context.Verbose) {}

TCamera::~TCamera() {
    if (FRebootTimer != 0) {
        FContext.Loop.Cancel(FRebootTimer);
    }
}

void TCamera::Start() {
    if (!FConfig.Faults.Has(EFault::Unreachable)) {
        FServer.Listen();
        FDiscovery = StartDiscoveryReplies(
            FContext.Loop, FSeries.Letter, FServer.Endpoint(),
            [this]() -> std::optional<TDiscoveryFacts> {
                if (!FServer.Listening()) {
                    return std::nullopt;
                }
                return TDiscoveryFacts{SysVersion(), UiVersion()};
            });
    }
}

std::string TCamera::Name() const {
    return "camera " + FSeries.Letter + " " + Endpoint().Text();
}

void TCamera::Say(const std::string& what) const {
    camsim::Say(Name() + ": " + what);
}

long long TCamera::RebootMs() const {
    const double scaled =
        static_cast<double>(FConfig.RebootMs.value_or(FContext.DefaultRebootMs)) *
        FContext.TimeScale;
    return static_cast<long long>(std::llround(scaled));
}

std::string TCamera::OfferedVersion(EFirmwareKind kind) const {
    const auto& offer = kind == EFirmwareKind::System ? FConfig.OfferSys : FConfig.OfferUi;
    return offer.value_or(NextVersion(kind == EFirmwareKind::System ? FSysVersion : FUiVersion));
}

std::string TCamera::Describe() const {
    const auto offer = [this](EFirmwareKind kind) {
        const std::string version = OfferedVersion(kind);
        return version.empty() ? std::string("none") : version;
    };
    return Name() + " user \"" + FConfig.User + "\" password \"" + FConfig.Password + "\" oem \"" +
           FConfig.Oem + "\" model \"" + FConfig.Model + "\" system " + FSysVersion + " ui " +
           FUiVersion + " offers system " + offer(EFirmwareKind::System) + " ui " +
           offer(EFirmwareKind::Ui) + " reboot " + std::to_string(RebootMs()) + " ms faults " +
           FConfig.Faults.Text();
}

std::vector<TFirmwareOffer> TCamera::Offers() const {
    std::vector<TFirmwareOffer> offers;
    for (const EFirmwareKind kind : {EFirmwareKind::System, EFirmwareKind::Ui}) {
        TFirmwareOffer offer;
        offer.Kind = kind;
        offer.Version = OfferedVersion(kind);
        if (offer.Version.empty()) {
            continue;
        }
        const bool system = kind == EFirmwareKind::System;
        offer.Folder = system ? "system" : ToLower(FConfig.Oem);
        offer.Section = CatalogueSection(kind, offer.SectionNote);
        offer.PackagePrefix = ToLower(FSeries.Letter) + (system ? "-sys" : "-ui");
        offer.Image = BuildFirmwareImage(Signature(kind), offer.Version, FContext.FirmwareSize);
        if (FConfig.Faults.Has(EFault::Excluded, kind)) {
            offer.ExcludedVersion = ReportedVersion(kind);
        }
        offer.BadMd5 = FConfig.Faults.Has(EFault::BadMd5, kind);
        offer.BadZip = FConfig.Faults.Has(EFault::BadZip, kind);
        offer.Owner = Name();
        offers.push_back(std::move(offer));
    }
    return offers;
}

THttpResponse TCamera::Handle(const THttpRequest& request) {
    // A series' own pages come first, so a series may serve /oem.txt its own way.
    if (auto page = HandleSeriesPage(request)) {
        return std::move(*page);
    }
    if (request.Path == "/oem.txt") {
        if (request.Method != "GET" && request.Method != "HEAD") {
            return THttpResponse::Page(405, "Method Not Allowed");
        }
        if (!BasicAuthorized(request)) {
            return Unauthorized();
        }
        return THttpResponse::Text(200, "text/plain", FConfig.Oem); // no line break after it
    }
    return THttpResponse::Page(404, "404 Not Found");
}

bool TCamera::BasicAuthorized(const THttpRequest& request) const {
    if (FConfig.Faults.Has(EFault::RefuseLogin)) {
        return false;
    }
    const auto credentials = BasicCredentials(request);
    return credentials && credentials->User == FConfig.User &&
           credentials->Password == FConfig.Password;
}

bool TCamera::QueryAuthorized(const THttpRequest& request) const {
    if (FConfig.Faults.Has(EFault::RefuseLogin)) {
        return false;
    }
    // The CGI decodes "%XX" in query values, as the upgrade tool encodes them.
    return request.DecodedQueryValue("user") == FConfig.User &&
           request.DecodedQueryValue("pwd") == FConfig.Password;
}

THttpResponse TCamera::Unauthorized() {
    THttpResponse response = THttpResponse::Page(401, "401 Unauthorized");
    response.Headers.emplace_back("WWW-Authenticate", "Basic realm=\"IP Camera\"");
    return response;
}

THttpResponse TCamera::AppVerPage(const THttpRequest& request) const {
    if (!BasicAuthorized(request)) {
        return Unauthorized();
    }
    std::string page = "var app_model=\"" + FConfig.Model + "\";\r\n";
    if (!FVersionHidden) {
        page += "var app_ver=\"v" + FUiVersion + "\";\r\n";
    }
    return THttpResponse::Text(200, "application/javascript", page);
}

THttpResponse TCamera::ReceiveUpload(const THttpRequest& request, EFirmwareKind kind,
                                     EForeignFile foreign) {
    const std::string what = KindName(kind) + " firmware";
    const TUploadResult upload = ParseMultipartUpload(request);
    if (!upload.File) {
        Say("upload of " + what + " refused: " + upload.Error);
        return THttpResponse::Page(400, "Bad upload: " + upload.Error);
    }
    const TUploadedFile& file = *upload.File;
    const std::string received = std::to_string(file.Bytes.size()) + " bytes, file \"" +
                                 file.FileName + "\", type \"" + file.ContentType + "\"";
    if (FConfig.Faults.Has(EFault::Upload500, kind)) {
        Say("upload of " + what + " (" + received + ") answered 500 (fault upload-500)");
        return THttpResponse::Page(500, "500 Internal Server Error");
    }
    if (FConfig.Faults.Has(EFault::UploadTrickle, kind)) {
        Say("upload of " + what + " (" + received +
            ") answered with a reply that never ends (fault upload-trickle)");
        THttpResponse response;
        response.TrickleEvery = std::chrono::milliseconds(20);
        return response;
    }
    const TImageCheck check = InspectFirmwareImage(file.Bytes, Signature(kind));
    using EResult = TImageCheck::EResult;
    std::optional<std::string> newVersion;
    switch (check.Result) {
    case EResult::Valid:
        newVersion = check.Version;
        break;
    case EResult::WrongSignature:
        if (foreign == EForeignFile::AcceptUnchanged) {
            Say("upload of " + what + " (" + received + ") is not this camera's " + what +
                " (" + check.Detail + "); accepted, the version stays");
            break;
        }
        [[fallthrough]];
    case EResult::TooShort:
    case EResult::Damaged:
        Say("upload of " + what + " (" + received + ") refused: " + check.Detail);
        return THttpResponse::Page(400, "Invalid firmware file: " + check.Detail);
    }
    if (newVersion) {
        Say("received " + what + " " + *newVersion + " (" + received + "), restarting");
    }
    THttpResponse response = THttpResponse::Page(200, "Upgrade succeeded, the camera restarts");
    response.AfterSent = [this, kind, newVersion] { Reboot(kind, newVersion); };
    return response;
}

void TCamera::Reboot(EFirmwareKind kind, std::optional<std::string> newVersion) {
    if (!FServer.Listening()) {
        return; // already restarting
    }
    FServer.StopListening();
    FServer.DropConnections();
    if (FConfig.Faults.Has(EFault::NoReturn)) {
        Say("down, and stays down (fault no-return)");
        return;
    }
    Say("down for " + std::to_string(RebootMs()) + " ms");
    FRebootTimer = FContext.Loop.After(std::chrono::milliseconds(RebootMs()),
                                       [this, kind, newVersion] { ComeBack(kind, newVersion); });
}

void TCamera::InstallAfterRestart(EFirmwareKind kind, const std::string& newVersion) {
    if (FConfig.Faults.Has(EFault::KeepOld, kind)) {
        Say("keeps its old " + std::string(kind == EFirmwareKind::System ? "system" : "ui") +
            " version (fault keep-old)");
    } else {
        (kind == EFirmwareKind::System ? FSysVersion : FUiVersion) = newVersion;
    }
    if (FConfig.Faults.Has(EFault::HideVersion)) {
        FVersionHidden = true;
        Say("shows no version from now on (fault hide-version)");
    }
}

void TCamera::ComeBack(EFirmwareKind kind, const std::optional<std::string>& newVersion) {
    FRebootTimer = 0;
    if (newVersion) {
        InstallAfterRestart(kind, *newVersion);
    }
    try {
        FServer.Listen();
    } catch (const TRuntimeError& error) {
        Complain(Name() + ": cannot come back up: " + error.what());
        return;
    }
    Say("up again, system " + FSysVersion + " ui " + FUiVersion);
}

} // namespace camsim

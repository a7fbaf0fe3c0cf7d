#pragma once

#include "CameraConfig.h"
#include "CameraRegistry.h"
#include "Discovery.h"
#include "FirmwareKind.h"
#include "FirmwareOffer.h"
#include "HttpServer.h"
#include "Loopback.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

// One simulated camera: its HTTP server, its credentials and versions, and the reboot
// after an upload. The pages every series shares live here (/oem.txt, /appver.js and the
// upload handling); a series adds its own pages, its credential rule for uploads, its
// firmware signatures and the way its catalogue sections are named.
class TCamera : public THttpHandler {
public:
    TCamera(const TCameraContext& context, const TCameraConfig& config, const TSeriesInfo& series);
    ~TCamera() override;
    TCamera(const TCamera&) = delete;
    TCamera& operator=(const TCamera&) = delete;

    // Starts listening (unless the camera is unreachable); throws TRuntimeError when the
    // address cannot be bound. A series with more sockets (UDP) opens them here too.
    virtual void Start();
    // One line for the start-up listing.
    [[nodiscard]] virtual std::string Describe() const;
    // What the firmware server offers this camera, one entry per firmware kind offered.
    [[nodiscard]] virtual std::vector<TFirmwareOffer> Offers() const;

    [[nodiscard]] THttpResponse Handle(const THttpRequest& request) final;

    [[nodiscard]] const std::string& Series() const { return FSeries.Letter; }
    [[nodiscard]] const TLoopbackEndpoint& Endpoint() const { return FServer.Endpoint(); }
    // "camera F 127.0.0.2:8081", the prefix of every line about this camera.
    [[nodiscard]] std::string Name() const;

protected:
    // The series' own pages; nothing: 404.
    [[nodiscard]] virtual std::optional<THttpResponse> HandleSeriesPage(const THttpRequest& request) = 0;
    // The four signature bytes of this series' firmware of that kind.
    [[nodiscard]] virtual std::string Signature(EFirmwareKind kind) const = 0;
    // The catalogue section the upgrade tool derives for this camera and kind (empty with
    // a note when it derives none).
    [[nodiscard]] virtual std::string CatalogueSection(EFirmwareKind kind, std::string& note) const = 0;
    // The version text the upgrade tool reads from this camera for that kind.
    [[nodiscard]] virtual std::string ReportedVersion(EFirmwareKind kind) const = 0;

    // Basic credentials of the request match the camera's (and refuse-login is off).
    [[nodiscard]] bool BasicAuthorized(const THttpRequest& request) const;
    // user=..&pwd=.. in the query match (and refuse-login is off).
    [[nodiscard]] bool QueryAuthorized(const THttpRequest& request) const;
    [[nodiscard]] static THttpResponse Unauthorized();

    // /appver.js: var app_model="..."; var app_ver="v..."; (Basic credentials).
    [[nodiscard]] THttpResponse AppVerPage(const THttpRequest& request) const;

    // How a series treats a file that does not carry its signature for the kind.
    enum class EForeignFile { Refuse, AcceptUnchanged };
    // The body of an upload CGI once the series has checked the credentials: parses the
    // multipart body, checks the firmware, answers, and reboots after the reply.
    [[nodiscard]] THttpResponse ReceiveUpload(const THttpRequest& request, EFirmwareKind kind,
                                              EForeignFile foreign);

    [[nodiscard]] const TCameraConfig& Config() const { return FConfig; }
    // The versions the camera's pages show: empty once hide-version has hidden them.
    [[nodiscard]] const std::string& SysVersion() const { return FVersionHidden ? NoVersion : FSysVersion; }
    [[nodiscard]] const std::string& UiVersion() const { return FVersionHidden ? NoVersion : FUiVersion; }
    [[nodiscard]] bool VersionHidden() const { return FVersionHidden; }
    // Back from the restart after an upload of kind that carried newVersion: takes the new
    // version, unless keep-old holds it back; hide-version hides both from now on.
    void InstallAfterRestart(EFirmwareKind kind, const std::string& newVersion);
    [[nodiscard]] long long RebootMs() const;
    void Say(const std::string& what) const;
    // Restarts the camera as after an upload, keeping its versions (a reboot page).
    void Restart() { Reboot(EFirmwareKind::System, std::nullopt); }

private:
    void Reboot(EFirmwareKind kind, std::optional<std::string> newVersion);
    void ComeBack(EFirmwareKind kind, const std::optional<std::string>& newVersion);
    [[nodiscard]] std::string OfferedVersion(EFirmwareKind kind) const;

    const TCameraContext& FContext;
    TCameraConfig FConfig;
    const TSeriesInfo& FSeries;
    std::string FSysVersion;
    std::string FUiVersion;
    bool FVersionHidden = false;
    static inline const std::string NoVersion;
    THttpServer FServer;
    TEventLoop::TTimerId FRebootTimer = 0;
    std::unique_ptr<TDiscoveryReplies> FDiscovery; // the LAN search replies (F, H)
};

} // namespace camsim

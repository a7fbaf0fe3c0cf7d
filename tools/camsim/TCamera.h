#pragma once

#include "Camera.h"
#include "TDhSearch.h"

#include <memory>
#include <optional>
#include <string>

namespace camsim {

// T series: every CGI page of the web port takes the account in the query (user=..&pwd=..
// or loginuse=..&loginpas=..) and answers "Auth Failed" to wrong credentials: the status
// page (deviceid, sys_ver in double quotes), /oem.txt, /appver.js (app_ver "v..."), the
// settings pages (network and Wi-Fi, Wi-Fi scan, factory, DDNS, defaults, reboot).
// Firmware goes to /upgrade_firmware.cgi (system) and /upgrade_htmls.cgi (UI) with
// loginuse/loginpas on the upgrade port 8600 of the camera's address; a camera whose system
// version is below 48.2.0.121 (compared as text, byte by byte) also takes it on its web
// port. Only files with the T signature of the kind are taken ("TSYS", "TWEB"). The camera
// answers the DH search and the DH network-settings datagram on 127.0.0.1:8600.
class TTCamera : public TCamera, private IDhAnswerer {
public:
    TTCamera(const TCameraContext& context, const TCameraConfig& config, const TSeriesInfo& series);
    ~TTCamera() override;

    void Start() override;
    [[nodiscard]] std::string Describe() const override;

    static constexpr std::uint16_t UploadPort = 8600;

protected:
    std::optional<THttpResponse> HandleSeriesPage(const THttpRequest& request) override;
    std::string Signature(EFirmwareKind kind) const override;
    std::string CatalogueSection(EFirmwareKind kind, std::string& note) const override;
    std::string ReportedVersion(EFirmwareKind kind) const override;

private:
    class TUploadPort;

    // IDhAnswerer
    std::string DhSearchReply() const override;
    std::optional<std::string> DhSetAnswer(std::string_view datagram) override;

    [[nodiscard]] THttpResponse HandleUploadPort(const THttpRequest& request);
    [[nodiscard]] std::optional<THttpResponse> Upload(const THttpRequest& request, bool uploadPort);
    [[nodiscard]] bool Authorized(const THttpRequest& request) const;
    [[nodiscard]] bool TakesUploadsOnWebPort() const;
    [[nodiscard]] std::string StatusPage() const;
    [[nodiscard]] std::string ParamsPage() const;
    [[nodiscard]] std::string DeviceId() const;
    [[nodiscard]] std::string MacBytes() const;
    [[nodiscard]] std::string MacText() const;
    void GoDown();
    void ComeBack();

    const TCameraContext& FContext;
    std::unique_ptr<TUploadPort> FUploadHandler;
    std::unique_ptr<THttpServer> FUploadServer;
    TEventLoop::TTimerId FReturnTimer = 0;
    bool FDown = false;
    bool FJoinedSearch = false;
    // Wi-Fi settings as the last set_wifi.cgi left them.
    std::string FWifiSsid = "camsim-wifi";
    std::string FWifiKey;
};

} // namespace camsim

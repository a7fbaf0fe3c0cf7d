#pragma once

#include "Camera.h"
#include "ECtpSearch.h"
#include "ECtpSession.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace camsim {

// E series: HTTP and CTP on the same port. A connection that starts with "CMD " speaks CTP,
// anything else HTTP (/oem.txt and /appver.js with Basic credentials). In CTP the camera
// takes a cfgusr login and an exit, then waits in its upgrade mode for a fresh connection
// that brings the PK2 package frame by frame; when that connection ends it reboots (refusing
// connections meanwhile) and comes back with the version of the firmware file it received.
// It answers the CTP search on 127.0.0.1:7999 with its address, port, MAC and system
// version.
class TECamera : public TCamera, private ICtpCamera, private ICtpSearchAnswerer {
public:
    TECamera(const TCameraContext& context, const TCameraConfig& config, const TSeriesInfo& series);
    ~TECamera() override;

    void Start() override;
    [[nodiscard]] std::string Describe() const override;
    [[nodiscard]] std::vector<TFirmwareOffer> Offers() const override;

protected:
    std::optional<THttpResponse> HandleSeriesPage(const THttpRequest& request) override;
    std::string Signature(EFirmwareKind kind) const override;
    std::string CatalogueSection(EFirmwareKind kind, std::string& note) const override;
    std::string ReportedVersion(EFirmwareKind kind) const override;

private:
    enum class EState { Normal, AwaitingUpgrade, Upgrading, Down };

    // What the firmware server offers for that kind (empty: nothing). The tool compares E
    // system versions by their third field alone, so the next system version counts that
    // field up (1.3.2.8 -> 1.3.3.8, still catalogue section 1.3.X.8).
    [[nodiscard]] std::string OfferedVersion(EFirmwareKind kind) const;
    struct TConnection;

    // ICtpCamera
    bool CtpAuthorized(const std::string& user, const std::string& password) const override;
    void CtpLeaveConfiguration() override;
    std::string CtpTakeFile(const std::string& name, const std::string& data) override;
    void CtpCommand(const std::string& text) override;
    // ICtpSearchAnswerer
    std::string CtpSearchReply() const override;

    void Listen();
    void StopListening();
    void Accept();
    void OnEvent(int fd, short revents);
    void Read(TConnection& connection);
    void Dispatch(TConnection& connection, std::string_view bytes);
    void Sniff(TConnection& connection);
    void FeedHttp(TConnection& connection, std::string_view bytes);
    void FeedCtp(TConnection& connection, std::string_view bytes);
    void Apply(TConnection& connection, TCtpSession::TOutput output);
    void Send(TConnection& connection, const std::string& bytes);
    void Drip(int fd);
    void Flush(TConnection& connection);
    void ArmTimer(TConnection& connection, long long ms, void (TECamera::*action)(int fd));
    void IdleTimeout(int fd);
    void FlashDone(int fd);
    void Close(int fd);
    void UpgradeConnectionEnded(bool probed, bool refused);
    void Reboot();
    void ComeBack();

    const TCameraContext& FContext;
    TLoopbackEndpoint FEndpoint;
    TSocket FListener;
    EState FState = EState::Normal;
    std::map<int, std::unique_ptr<TConnection>> FConnections;
    TEventLoop::TTimerId FModeTimer = 0;
    TEventLoop::TTimerId FRebootTimer = 0;
    std::optional<std::pair<EFirmwareKind, std::string>> FNewVersion;
    bool FJoinedSearch = false;
};

} // namespace camsim

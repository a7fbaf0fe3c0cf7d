#include "ECamera.h"

#include "Console.h"
#include "Error.h"
#include "FirmwareImage.h"
#include "Text.h"
#include "Version.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace camsim {

namespace {

const TSeriesRegistrar Registrar(TSeriesInfo{
    "E", "HTTP login page and CTP upgrades (PK2 packages) on the same port, CTP search on "
         "127.0.0.1:7999",
    "1.3.2.8", "2.4.0.6",
    [](const TCameraContext& context, const TCameraConfig& config, const TSeriesInfo& series) {
        return std::unique_ptr<TCamera>(new TECamera(context, config, series));
    }});

// No progress on a connection for this long: it is closed.
constexpr long long IdleMs = 30'000;
// After the last reply, how long the camera waits for the client to close.
constexpr long long DrainMs = 2'000;
// How long the camera stays in its upgrade mode without a connection (before time scale).
constexpr long long UpgradeModeMs = 120'000;
// The flash write after a file's digest checked out (before time scale).
constexpr long long FlashMs = 500;
// Fault ctp-byte-by-byte: the time between two bytes of an answer (real time).
constexpr long long DripMs = 1;

constexpr const char* FirmwareFileName = "firmware.img";

std::string Le32(std::uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

std::string Pk2Section(std::string_view kind, std::string_view body, bool sizeInHeader) {
    std::string section(kind);
    section += std::string(16, '\0');
    section += Le32(sizeInHeader ? static_cast<std::uint32_t>(body.size()) : 0);
    section += body;
    return section;
}

// A PK2 package around a firmware file: an information section the tool passes over, the
// file, and the command that installs it.
std::string BuildPk2Package(const std::string& image, EFirmwareKind kind, const std::string& version) {
    const std::string info = "camsim E " + KindName(kind) + " firmware " + version;
    std::string file = Le32(static_cast<std::uint32_t>(std::string_view(FirmwareFileName).size()));
    file += FirmwareFileName;
    file += Le32(static_cast<std::uint32_t>(image.size()));
    file += image;
    const std::string command = std::string("install ") + FirmwareFileName;

    std::string package("PK2\0", 4);
    package += "camsim package\0\0\0\0\0\0";
    package.resize(24, '\0');
    package += Le32(3);
    package += Pk2Section("INFO", info, true);
    package += Pk2Section("FILE", file, false);
    package += Pk2Section("CMD ", command, true);
    return package;
}

bool Sent(std::string_view prefix, std::string_view bytes) {
    return bytes.size() >= prefix.size() && bytes.substr(0, prefix.size()) == prefix;
}

} // namespace

struct TECamera::TConnection {
    enum class EKind { Sniffing, Http, Ctp };

    TSocket Socket;
    EKind Kind = EKind::Sniffing;
    std::string Sniffed;
    THttpRequestParser Http;
    std::unique_ptr<TCtpSession> Ctp;
    bool Upgrade = false;        // the connection of the upgrade mode
    std::string Output;
    std::size_t Written = 0;
    bool CloseWhenSent = false;
    bool Draining = false;       // everything sent, waiting for the client to close
    std::function<void()> AfterSent;
    bool Paused = false;         // the flash write: replies and reading wait
    std::string Later;           // the reply after the pause
    std::string Held;            // bytes that came during the pause
    TEventLoop::TTimerId Timer = 0;
    std::string Dripping;        // fault ctp-byte-by-byte: bytes still to go, one at a time
    TEventLoop::TTimerId DripTimer = 0;
    bool MuteSaid = false;       // fault ctp-mute-login: said once that the login goes unanswered
};

TECamera::TECamera(const TCameraContext& context, const TCameraConfig& config,
                   const TSeriesInfo& series)
    : TCamera(context, config, series), FContext(context), FEndpoint(Endpoint()) {
    if (FEndpoint.Port() == 0) {
        throw TUsageError(config.Origin + ": an E camera needs a fixed port (port=...)");
    }
}

TECamera::~TECamera() {
    for (const TEventLoop::TTimerId timer : {FModeTimer, FRebootTimer}) {
        if (timer != 0) {
            FContext.Loop.Cancel(timer);
        }
    }
    while (!FConnections.empty()) {
        Close(FConnections.begin()->first);
    }
    StopListening();
    if (FJoinedSearch) {
        TCtpSearchResponder::Leave(*this);
    }
}

void TECamera::Start() {
    if (Config().Faults.Has(EFault::Unreachable)) {
        return;
    }
    Listen();
    TCtpSearchResponder::Join(FContext.Loop, *this);
    FJoinedSearch = true;
}

std::string TECamera::OfferedVersion(EFirmwareKind kind) const {
    if (kind == EFirmwareKind::Ui) {
        return Config().OfferUi.value_or(NextVersion(UiVersion()));
    }
    if (Config().OfferSys) {
        return *Config().OfferSys;
    }
    std::vector<std::string> fields = Split(SysVersion(), '.');
    if (fields.size() < 4) {
        return NextVersion(SysVersion());
    }
    fields[2] = NextVersion(fields[2]);
    std::string version = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i) {
        version += "." + fields[i];
    }
    return version;
}

std::string TECamera::Describe() const {
    const auto offer = [this](EFirmwareKind kind) {
        const std::string version = OfferedVersion(kind);
        return version.empty() ? std::string("none") : version;
    };
    return Name() + " user \"" + Config().User + "\" password \"" + Config().Password +
           "\" oem \"" + Config().Oem + "\" model \"" + Config().Model + "\" system " +
           SysVersion() + " ui " + UiVersion() + " offers system " +
           offer(EFirmwareKind::System) + " ui " + offer(EFirmwareKind::Ui) + " reboot " +
           std::to_string(RebootMs()) + " ms faults " + Config().Faults.Text() +
           " ctp on the same port, search on 127.0.0.1:" +
           std::to_string(TCtpSearchResponder::Port);
}

std::vector<TFirmwareOffer> TECamera::Offers() const {
    std::vector<TFirmwareOffer> offers = TCamera::Offers();
    for (TFirmwareOffer& offer : offers) {
        const std::string version = OfferedVersion(offer.Kind);
        if (version != offer.Version) {
            offer.Version = version;
            offer.Image = BuildFirmwareImage(Signature(offer.Kind), version, FContext.FirmwareSize);
        }
        offer.Image = BuildPk2Package(offer.Image, offer.Kind, offer.Version);
        offer.FileExtension = ".pk2";
        if (offer.Kind == EFirmwareKind::System && !offer.ExcludedVersion.empty()) {
            // The tool's version from the search ends with a blank, and the catalogue's
            // values are trimmed: something must follow the blank for the version to occur.
            offer.ExcludedVersion += ",";
        }
    }
    return offers;
}

std::optional<THttpResponse> TECamera::HandleSeriesPage(const THttpRequest& request) {
    if (request.Path == "/appver.js") {
        if (request.Method != "GET" && request.Method != "HEAD") {
            return THttpResponse::Page(405, "Method Not Allowed");
        }
        return AppVerPage(request);
    }
    return std::nullopt;
}

std::string TECamera::Signature(EFirmwareKind kind) const {
    return kind == EFirmwareKind::Ui ? "EWEB" : "ESYS";
}

std::string TECamera::CatalogueSection(EFirmwareKind kind, std::string& note) const {
    if (kind == EFirmwareKind::Ui) {
        // The web page's app_model, else the version family, as for the other series.
        if (!Config().Model.empty()) {
            return Config().Model;
        }
        const std::string family = VersionFamily(ReportedVersion(kind));
        if (family.empty()) {
            note = "its ui version " + UiVersion() + " has no \".\" and it has no model";
        }
        return family;
    }
    // System firmware: the version from the search with its third field open, 1.2.X.4
    // (the tool's text ends with a blank, which the catalogue's section lookup ignores).
    const std::vector<std::string> fields = Split(SysVersion(), '.');
    if (fields.size() < 4) {
        note = "its system version " + SysVersion() + " does not have four fields";
        return {};
    }
    return fields[0] + "." + fields[1] + ".X." + fields[3];
}

std::string TECamera::ReportedVersion(EFirmwareKind kind) const {
    if (kind == EFirmwareKind::System) {
        return SysVersion() + " "; // the second word of the search's -version value and its blank
    }
    std::string version;
    for (const char c : UiVersion()) {
        if (c != 'v') {
            version += c;
        }
    }
    return Trim(version);
}

// --- CTP -----------------------------------------------------------------------------------

bool TECamera::CtpAuthorized(const std::string& user, const std::string& password) const {
    return !Config().Faults.Has(EFault::RefuseLogin) && user == Config().User &&
           password == Config().Password;
}

void TECamera::CtpLeaveConfiguration() {
    FState = EState::AwaitingUpgrade;
    Say("left configuration mode, waiting for the upgrade connection");
    const auto ms = std::max<long long>(
        2000, std::llround(static_cast<double>(UpgradeModeMs) * FContext.TimeScale));
    if (FModeTimer != 0) {
        FContext.Loop.Cancel(FModeTimer);
    }
    FModeTimer = FContext.Loop.After(std::chrono::milliseconds(ms), [this] {
        FModeTimer = 0;
        if (FState == EState::AwaitingUpgrade) {
            FState = EState::Normal;
            Say("no upgrade connection came, back in configuration mode");
        }
    });
}

std::string TECamera::CtpTakeFile(const std::string& name, const std::string& data) {
    const std::string received = name + " (" + std::to_string(data.size()) + " bytes)";
    EFirmwareKind kind = EFirmwareKind::System;
    TImageCheck check = InspectFirmwareImage(data, Signature(kind));
    if (check.Result == TImageCheck::EResult::WrongSignature) {
        kind = EFirmwareKind::Ui;
        check = InspectFirmwareImage(data, Signature(kind));
    }
    if (check.Result != TImageCheck::EResult::Valid) {
        Say("refused " + received + ": " + check.Detail);
        return "invalid firmware: " + check.Detail;
    }
    if (Config().Faults.Has(EFault::Upload500, kind)) {
        Say("refused " + received + ": flash write failed (fault upload-500)");
        return "flash write failed";
    }
    Say("received " + KindName(kind) + " firmware " + check.Version + " in " + received);
    FNewVersion = std::make_pair(kind, check.Version);
    return {};
}

void TECamera::CtpCommand(const std::string& text) {
    Say("command \"" + text + "\"");
}

std::string TECamera::CtpSearchReply() const {
    if (FState == EState::Down || !FListener.IsOpen()) {
        return {};
    }
    const sockaddr_in address = FEndpoint.SocketAddress();
    const std::uint32_t ip = ntohl(address.sin_addr.s_addr);
    const std::uint16_t port = FEndpoint.Port();
    static constexpr char Hex[] = "0123456789abcdef";
    std::string mac = "02";
    for (const unsigned value : {(ip >> 16) & 0xFFu, (ip >> 8) & 0xFFu, ip & 0xFFu,
                                 static_cast<unsigned>(port >> 8), static_cast<unsigned>(port & 0xFF)}) {
        mac += ':';
        mac += Hex[value >> 4];
        mac += Hex[value & 0x0F];
    }
    return "REPLY * CTP/1.0\r\n"
           "-name camsim-E\r\n"
           "-sn CAMSIME" + std::to_string(ip & 0xFFFFFF) + "\r\n"
           "-ip " + FEndpoint.Address() + "\r\n"
           "-netmask 255.0.0.0\r\n"
           "-gw 127.0.0.1\r\n"
           "-portctp " + std::to_string(port) + "\r\n"
           "-mac " + mac + "\r\n"
           "-dhcpen 0\r\n"
           "-version CTP " + SysVersion() + " camsim\r\n";
}

// --- connections ---------------------------------------------------------------------------

void TECamera::Listen() {
    if (FListener.IsOpen()) {
        return;
    }
    FListener = ListenTcp(FEndpoint);
    FContext.Loop.Watch(FListener.Fd(), POLLIN, [this](short) { Accept(); });
}

void TECamera::StopListening() {
    if (FListener.IsOpen()) {
        FContext.Loop.Unwatch(FListener.Fd());
        FListener.Close();
    }
}

void TECamera::Accept() {
    while (FListener.IsOpen()) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        TSocket socket(::accept4(FListener.Fd(), reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!socket.IsOpen()) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
                Complain(Name() + ": accept failed: " + SystemError(errno));
            }
            return;
        }
        if (!TLoopbackEndpoint::IsLoopback(peer)) {
            continue;
        }
        const int fd = socket.Fd();
        if (Config().Faults.Has(EFault::CtpByteByByte)) {
            // Each byte in a segment of its own, not gathered while an ACK is awaited.
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        auto connection = std::make_unique<TConnection>();
        connection->Socket = std::move(socket);
        TConnection& ref = *connection;
        FConnections[fd] = std::move(connection);
        FContext.Loop.Watch(fd, POLLIN, [this, fd](short revents) { OnEvent(fd, revents); });
        ArmTimer(ref, IdleMs, &TECamera::IdleTimeout);
    }
}

void TECamera::ArmTimer(TConnection& connection, long long ms, void (TECamera::*action)(int)) {
    if (connection.Timer != 0) {
        FContext.Loop.Cancel(connection.Timer);
    }
    const int fd = connection.Socket.Fd();
    connection.Timer = FContext.Loop.After(std::chrono::milliseconds(ms), [this, fd, action] {
        const auto found = FConnections.find(fd);
        if (found != FConnections.end()) {
            found->second->Timer = 0;
            (this->*action)(fd);
        }
    });
}

void TECamera::IdleTimeout(int fd) {
    Close(fd);
}

void TECamera::OnEvent(int fd, short revents) {
    const auto found = FConnections.find(fd);
    if (found == FConnections.end()) {
        return;
    }
    TConnection& connection = *found->second;
    if ((revents & POLLOUT) != 0 && connection.Written < connection.Output.size()) {
        Flush(connection);
        if (FConnections.count(fd) == 0) {
            return;
        }
    }
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        Read(connection);
    }
}

void TECamera::Read(TConnection& connection) {
    const int fd = connection.Socket.Fd();
    for (;;) {
        char buffer[16 * 1024];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            if (!connection.Draining) {
                ArmTimer(connection, IdleMs, &TECamera::IdleTimeout);
                Dispatch(connection, std::string_view(buffer, static_cast<std::size_t>(n)));
                if (FConnections.count(fd) == 0) {
                    return;
                }
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return;
        }
        Close(fd); // closed by the client, or reset
        return;
    }
}

void TECamera::Dispatch(TConnection& connection, std::string_view bytes) {
    switch (connection.Kind) {
    case TConnection::EKind::Sniffing:
        connection.Sniffed.append(bytes);
        Sniff(connection);
        break;
    case TConnection::EKind::Http:
        FeedHttp(connection, bytes);
        break;
    case TConnection::EKind::Ctp:
        FeedCtp(connection, bytes);
        break;
    }
}

void TECamera::Sniff(TConnection& connection) {
    const std::string& first = connection.Sniffed;
    if (first.size() < 4) {
        return;
    }
    const std::string bytes = std::move(connection.Sniffed);
    if (Sent("CMD ", bytes)) {
        connection.Kind = TConnection::EKind::Ctp;
        auto mode = TCtpSession::EMode::Configuration;
        if (FState == EState::AwaitingUpgrade) {
            FState = EState::Upgrading;
            if (FModeTimer != 0) {
                FContext.Loop.Cancel(FModeTimer);
                FModeTimer = 0;
            }
            mode = TCtpSession::EMode::Upgrade;
            connection.Upgrade = true;
            FNewVersion.reset();
            Say("upgrade connection");
        }
        connection.Ctp = std::make_unique<TCtpSession>(mode, static_cast<ICtpCamera&>(*this));
        FeedCtp(connection, bytes);
        return;
    }
    for (const char* method : {"GET ", "HEAD", "POST", "PUT "}) {
        if (Sent(method, bytes)) {
            connection.Kind = TConnection::EKind::Http;
            FeedHttp(connection, bytes);
            return;
        }
    }
    Say("closed a connection that spoke neither HTTP nor CTP");
    Close(connection.Socket.Fd());
}

void TECamera::FeedHttp(TConnection& connection, std::string_view bytes) {
    if (connection.CloseWhenSent) {
        return; // answered already
    }
    const auto state = connection.Http.Feed(bytes);
    if (connection.Http.TakeContinueWanted()) {
        Send(connection, "HTTP/1.1 100 Continue\r\n\r\n");
    }
    THttpResponse response;
    if (state == THttpRequestParser::EState::Complete) {
        response = Handle(connection.Http.Request());
        response.HeadOnly = connection.Http.Request().Method == "HEAD";
    } else if (state == THttpRequestParser::EState::Failed) {
        response = THttpResponse::Page(connection.Http.FailStatus(), connection.Http.FailReason());
    } else {
        return;
    }
    connection.AfterSent = std::move(response.AfterSent);
    connection.CloseWhenSent = true;
    Send(connection, response.Serialize());
}

void TECamera::FeedCtp(TConnection& connection, std::string_view bytes) {
    if (connection.Paused) {
        connection.Held.append(bytes);
        return;
    }
    Apply(connection, connection.Ctp->Feed(bytes));
}

void TECamera::Apply(TConnection& connection, TCtpSession::TOutput output) {
    if (Config().Faults.Has(EFault::CtpMuteLogin) &&
        connection.Ctp->Mode() == TCtpSession::EMode::Configuration) {
        // Everything is read, nothing answered: the client waits for the login in vain.
        if (!connection.MuteSaid) {
            connection.MuteSaid = true;
            Say("CTP login not answered (fault ctp-mute-login)");
        }
        return;
    }
    if (Config().Faults.Has(EFault::CtpProgress)) {
        // A progress note after each Continue line, in the same send.
        for (std::size_t at = output.Now.find("REPLY Continue"); at != std::string::npos;
             at = output.Now.find("REPLY Continue", at + 1)) {
            const std::size_t lineEnd = output.Now.find("\r\n", at);
            if (lineEnd == std::string::npos) {
                break;
            }
            output.Now.insert(lineEnd + 2, "Progress: 50\r\n");
        }
    }
    if (!connection.Ctp->Trouble().empty() && output.Close) {
        Say("CTP: " + connection.Ctp->Trouble());
    }
    if (output.Close) {
        connection.CloseWhenSent = true;
    }
    if (!output.Later.empty()) {
        connection.Paused = true;
        connection.Later = std::move(output.Later);
        const auto ms = std::max<long long>(
            5, std::llround(static_cast<double>(FlashMs) * FContext.TimeScale));
        ArmTimer(connection, ms, &TECamera::FlashDone);
    }
    Send(connection, output.Now);
}

void TECamera::FlashDone(int fd) {
    const auto found = FConnections.find(fd);
    if (found == FConnections.end()) {
        return;
    }
    TConnection& connection = *found->second;
    connection.Paused = false;
    ArmTimer(connection, IdleMs, &TECamera::IdleTimeout);
    Send(connection, std::exchange(connection.Later, {}));
    if (FConnections.count(fd) != 0) {
        FeedCtp(connection, std::exchange(connection.Held, {}));
    }
}

void TECamera::Send(TConnection& connection, const std::string& bytes) {
    if (Config().Faults.Has(EFault::CtpByteByByte) && connection.Kind == TConnection::EKind::Ctp) {
        connection.Dripping += bytes;
        if (connection.DripTimer == 0 && !connection.Dripping.empty()) {
            Drip(connection.Socket.Fd());
        }
        return;
    }
    connection.Output += bytes;
    Flush(connection);
}

void TECamera::Drip(int fd) {
    const auto found = FConnections.find(fd);
    if (found == FConnections.end()) {
        return;
    }
    TConnection& connection = *found->second;
    connection.DripTimer = 0;
    if (connection.Dripping.empty()) {
        return;
    }
    connection.Output += connection.Dripping.front();
    connection.Dripping.erase(0, 1);
    if (!connection.Dripping.empty()) {
        connection.DripTimer = FContext.Loop.After(std::chrono::milliseconds(DripMs),
                                                   [this, fd] { Drip(fd); });
    }
    Flush(connection); // may close the connection once the last byte is out
}

void TECamera::Flush(TConnection& connection) {
    const int fd = connection.Socket.Fd();
    while (connection.Written < connection.Output.size()) {
        const ssize_t n = ::send(fd, connection.Output.data() + connection.Written,
                                 connection.Output.size() - connection.Written, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                FContext.Loop.SetEvents(fd, POLLIN | POLLOUT);
                return;
            }
            Close(fd);
            return;
        }
        connection.Written += static_cast<std::size_t>(n);
    }
    connection.Output.clear();
    connection.Written = 0;
    FContext.Loop.SetEvents(fd, POLLIN);
    if (connection.AfterSent) {
        FContext.Loop.Defer(std::exchange(connection.AfterSent, {}));
    }
    if (connection.CloseWhenSent && !connection.Paused && !connection.Draining &&
        connection.Dripping.empty()) {
        connection.Draining = true;
        ::shutdown(fd, SHUT_WR);
        ArmTimer(connection, DrainMs, &TECamera::IdleTimeout);
    }
}

void TECamera::Close(int fd) {
    const auto found = FConnections.find(fd);
    if (found == FConnections.end()) {
        return;
    }
    std::unique_ptr<TConnection> connection = std::move(found->second);
    FConnections.erase(found);
    for (const TEventLoop::TTimerId timer : {connection->Timer, connection->DripTimer}) {
        if (timer != 0) {
            FContext.Loop.Cancel(timer);
        }
    }
    FContext.Loop.Unwatch(fd);
    if (connection->Upgrade) {
        const bool probed = connection->Ctp->Probed();
        const bool refused = !connection->Ctp->Trouble().empty();
        FContext.Loop.Defer([this, probed, refused] { UpgradeConnectionEnded(probed, refused); });
    }
}

void TECamera::UpgradeConnectionEnded(bool probed, bool refused) {
    if (FState != EState::Upgrading) {
        return;
    }
    // A transfer the camera refused leaves it as it was; a clean one restarts it (with a
    // new version when a firmware file came).
    if (!probed || refused) {
        FState = EState::Normal;
        FNewVersion.reset();
        Say("the upgrade connection ended without a complete transfer, back in configuration mode");
        return;
    }
    Reboot();
}

void TECamera::Reboot() {
    FState = EState::Down;
    StopListening();
    while (!FConnections.empty()) {
        Close(FConnections.begin()->first);
    }
    if (Config().Faults.Has(EFault::NoReturn)) {
        Say("down, and stays down (fault no-return)");
        return;
    }
    Say("down for " + std::to_string(RebootMs()) + " ms");
    FRebootTimer = FContext.Loop.After(std::chrono::milliseconds(RebootMs()), [this] { ComeBack(); });
}

void TECamera::ComeBack() {
    FRebootTimer = 0;
    if (FNewVersion) {
        InstallAfterRestart(FNewVersion->first, FNewVersion->second);
        FNewVersion.reset();
    }
    try {
        Listen();
    } catch (const TRuntimeError& error) {
        Complain(Name() + ": cannot come back up: " + error.what());
        return;
    }
    FState = EState::Normal;
    Say("up again, system " + SysVersion() + " ui " + UiVersion());
}

} // namespace camsim

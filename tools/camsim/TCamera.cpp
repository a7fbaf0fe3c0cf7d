#include "TCamera.h"

#include "Error.h"
#include "Text.h"
#include "Version.h"

#include <cctype>
#include <string>

#include <arpa/inet.h>

namespace camsim {

namespace {

const TSeriesRegistrar Registrar(TSeriesInfo{
    "T", "CGI pages with the account in the query (\"Auth Failed\" when wrong), uploads on "
         "port 8600, the DH search on UDP 8600",
    "48.2.0.130", "3.1.0.5",
    [](const TCameraContext& context, const TCameraConfig& config, const TSeriesInfo& series) {
        return std::unique_ptr<TCamera>(new TTCamera(context, config, series));
    }});

// From this system version on the camera takes firmware on its upgrade port only.
constexpr std::string_view UploadPortOnlyFrom = "48.2.0.121";

bool IsRead(const THttpRequest& request) {
    return request.Method == "GET" || request.Method == "HEAD";
}

THttpResponse Script(std::string body) {
    return THttpResponse::Text(200, "text/plain", std::move(body));
}

THttpResponse AuthFailed() {
    return Script("var result=\"Auth Failed\";\r\n");
}

std::string Var(const std::string& name, const std::string& value) {
    return "var " + name + "=\"" + value + "\";\r\n";
}

std::string Var(const std::string& name, int value) {
    return "var " + name + "=" + std::to_string(value) + ";\r\n";
}

} // namespace

// The handler of the upgrade port.
class TTCamera::TUploadPort : public THttpHandler {
public:
    explicit TUploadPort(TTCamera& camera) : FCamera(camera) {}
    THttpResponse Handle(const THttpRequest& request) override {
        return FCamera.HandleUploadPort(request);
    }

private:
    TTCamera& FCamera;
};

TTCamera::TTCamera(const TCameraContext& context, const TCameraConfig& config,
                   const TSeriesInfo& series)
    : TCamera(context, config, series), FContext(context),
      FUploadHandler(std::make_unique<TUploadPort>(*this)) {
    if (config.Port == UploadPort) {
        throw TUsageError(config.Origin + ": port " + std::to_string(UploadPort) +
                          " is the T camera's upgrade port; give it another web port");
    }
    FUploadServer = std::make_unique<THttpServer>(
        context.Loop, TLoopbackEndpoint::Parse(config.Ip, UploadPort, "camera upload address"),
        *FUploadHandler, "camera T upload", context.Verbose);
}

TTCamera::~TTCamera() {
    if (FReturnTimer != 0) {
        FContext.Loop.Cancel(FReturnTimer);
    }
    if (FJoinedSearch) {
        TDhSearchResponder::Leave(*this);
    }
}

void TTCamera::Start() {
    TCamera::Start();
    if (Config().Faults.Has(EFault::Unreachable)) {
        FDown = true;
        return;
    }
    FUploadServer->Listen();
    TDhSearchResponder::Join(FContext.Loop, *this);
    FJoinedSearch = true;
}

std::string TTCamera::Describe() const {
    return TCamera::Describe() + " upload " + FUploadServer->Endpoint().Text() +
           (TakesUploadsOnWebPort() ? " and web port" : "");
}

bool TTCamera::TakesUploadsOnWebPort() const {
    return std::string_view(SysVersion()).compare(UploadPortOnlyFrom) < 0;
}

bool TTCamera::Authorized(const THttpRequest& request) const {
    if (Config().Faults.Has(EFault::RefuseLogin)) {
        return false;
    }
    const auto matches = [&](const char* userKey, const char* passwordKey) {
        const auto user = request.DecodedQueryValue(userKey);
        const auto password = request.DecodedQueryValue(passwordKey);
        return user && password && *user == Config().User && *password == Config().Password;
    };
    return matches("user", "pwd") || matches("loginuse", "loginpas");
}

std::string TTCamera::DeviceId() const {
    std::string id = "CAMSIM-" + Endpoint().Address();
    for (char& c : id) {
        if (c == '.') {
            c = '-';
        }
    }
    return id;
}

std::string TTCamera::MacBytes() const {
    in_addr address{};
    (void)::inet_pton(AF_INET, Endpoint().Address().c_str(), &address);
    const auto* b = reinterpret_cast<const unsigned char*>(&address.s_addr);
    return std::string{'\x00', '\x1A', '\x2B', static_cast<char>(b[1]), static_cast<char>(b[2]),
                       static_cast<char>(b[3])};
}

std::string TTCamera::MacText() const {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : MacBytes()) {
        const auto byte = static_cast<unsigned char>(c);
        if (!text.empty()) {
            text += ':';
        }
        text += Hex[byte >> 4];
        text += Hex[byte & 0x0F];
    }
    return text;
}

std::string TTCamera::StatusPage() const {
    return Var("alias", "camsim") + Var("deviceid", DeviceId()) + Var("sys_ver", SysVersion()) +
           Var("app_version", UiVersion()) + Var("mac", MacText()) + Var("upnp_status", 0);
}

std::string TTCamera::ParamsPage() const {
    return Var("ip", Endpoint().Address()) + Var("mask", "255.0.0.0") +
           Var("gateway", "127.0.0.1") + Var("dns1", "127.0.0.1") + Var("dns2", "") +
           Var("port", Endpoint().Port()) + Var("dhcpen", 0) + Var("wifi_enable", 1) +
           Var("wifi_ssid", FWifiSsid) + Var("wifi_mode", 0) + Var("wifi_encrypt", 0) +
           Var("wifi_authtype", 0) + Var("wifi_defkey", 0) + Var("wifi_keyformat", 0) +
           Var("wifi_key1", "") + Var("wifi_key2", "") + Var("wifi_key3", "") +
           Var("wifi_key4", "") + Var("wifi_key1_bits", 0) + Var("wifi_key2_bits", 0) +
           Var("wifi_key3_bits", 0) + Var("wifi_key4_bits", 0) + Var("wifi_wpa_psk", FWifiKey);
}

std::optional<THttpResponse> TTCamera::HandleSeriesPage(const THttpRequest& request) {
    const std::string& path = request.Path;
    if (auto upload = Upload(request, false)) {
        return upload;
    }
    static const char* const Pages[] = {
        "/get_status.cgi",     "/oem.txt",          "/appver.js",
        "/get_params.cgi",     "/wifi_scan.cgi",    "/get_wifi_scan_result.cgi",
        "/get_factory_param.cgi", "/set_wifi.cgi",  "/set_ddns.cgi",
        "/set_factory_param.cgi", "/set_default.cgi", "/reboot.cgi"};
    bool known = false;
    for (const char* page : Pages) {
        known = known || path == page;
    }
    if (!known) {
        return std::nullopt;
    }
    if (!IsRead(request)) {
        return THttpResponse::Page(405, "Method Not Allowed");
    }
    // The reboot page also takes the browser's Basic credentials.
    if (!Authorized(request) && !(path == "/reboot.cgi" && BasicAuthorized(request))) {
        return AuthFailed();
    }
    if (path == "/get_status.cgi") {
        return Script(StatusPage());
    }
    if (path == "/oem.txt") {
        return THttpResponse::Text(200, "text/plain", Config().Oem);
    }
    if (path == "/appver.js") {
        return THttpResponse::Text(200, "application/javascript",
                                   Var("app_model", Config().Model) +
                                       Var("app_ver", ReportedVersion(EFirmwareKind::Ui)));
    }
    if (path == "/get_params.cgi") {
        return Script(ParamsPage());
    }
    if (path == "/wifi_scan.cgi") {
        return Script("var result=\"ok\";\r\n");
    }
    if (path == "/get_wifi_scan_result.cgi") {
        return Script(Var("ap_number", 2) + "var ap_ssid[0]=\"MyNet\";\r\nvar ap_mode[0]=0;\r\n"
                      "var ap_security[0]=3;\r\nvar ap_dbm0[0]='-45';\r\nvar ap_dbm1[0]='-47';\r\n"
                      "var ap_mac[0]=\"00:1A:2B:00:01:01\";\r\nvar ap_ssid[1]=\"Other\";\r\n"
                      "var ap_mode[1]=0;\r\nvar ap_security[1]=0;\r\nvar ap_dbm0[1]='-70';\r\n"
                      "var ap_dbm1[1]='-72';\r\nvar ap_mac[1]=\"00:1A:2B:00:01:02\";\r\n");
    }
    if (path == "/get_factory_param.cgi") {
        return Script(Var("factory_index", 10) + Var("factory_server", "ddns.camsim") +
                      Var("factory_port", 8080) + Var("factory_user", "camsim") +
                      Var("factory_passwd", "camsim"));
    }
    if (path == "/set_wifi.cgi") {
        FWifiSsid = request.DecodedQueryValue("ssid").value_or(FWifiSsid);
        FWifiKey = request.DecodedQueryValue("wpa_psk").value_or(FWifiKey);
        Say("Wi-Fi set to \"" + FWifiSsid + "\"; it applies after a restart");
        return THttpResponse::Text(200, "text/html",
                                   "<html><head><meta http-equiv=\"refresh\" "
                                   "content=\"0; url=rebootme.htm\"></head></html>");
    }
    if (path == "/reboot.cgi") {
        Say("restart asked for");
        THttpResponse response = Script("var result=\"ok\";\r\n");
        response.AfterSent = [this] {
            Restart();
            GoDown();
        };
        return response;
    }
    Say(path.substr(1) + " taken");
    return Script("var result=\"ok\";\r\n"); // set_ddns, set_factory_param, set_default
}

THttpResponse TTCamera::HandleUploadPort(const THttpRequest& request) {
    if (auto upload = Upload(request, true)) {
        return std::move(*upload);
    }
    if (request.Path == "/get_status.cgi") {
        if (!IsRead(request)) {
            return THttpResponse::Page(405, "Method Not Allowed");
        }
        return Authorized(request) ? Script(StatusPage()) : AuthFailed();
    }
    return THttpResponse::Page(404, "404 Not Found");
}

std::optional<THttpResponse> TTCamera::Upload(const THttpRequest& request, bool uploadPort) {
    const bool ui = request.Path == "/upgrade_htmls.cgi";
    if (!ui && request.Path != "/upgrade_firmware.cgi") {
        return std::nullopt;
    }
    if (!uploadPort && !TakesUploadsOnWebPort()) {
        Say("upload on the web port refused: system " + SysVersion() + " takes firmware on port " +
            std::to_string(UploadPort) + " only");
        return THttpResponse::Page(404, "404 Not Found");
    }
    if (request.Method != "POST") {
        return THttpResponse::Page(405, "Method Not Allowed");
    }
    if (Config().Faults.Has(EFault::RefuseLogin) ||
        request.DecodedQueryValue("loginuse") != Config().User ||
        request.DecodedQueryValue("loginpas") != Config().Password) {
        return Unauthorized();
    }
    THttpResponse response =
        ReceiveUpload(request, ui ? EFirmwareKind::Ui : EFirmwareKind::System, EForeignFile::Refuse);
    if (response.AfterSent) {
        response.AfterSent = [this, reboot = std::move(response.AfterSent)] {
            reboot();
            GoDown();
        };
    }
    return response;
}

void TTCamera::GoDown() {
    if (FDown) {
        return;
    }
    FDown = true;
    FUploadServer->StopListening();
    FUploadServer->DropConnections();
    if (Config().Faults.Has(EFault::NoReturn)) {
        return;
    }
    FReturnTimer = FContext.Loop.After(std::chrono::milliseconds(RebootMs()), [this] { ComeBack(); });
}

void TTCamera::ComeBack() {
    FReturnTimer = 0;
    try {
        FUploadServer->Listen();
    } catch (const TRuntimeError& error) {
        Say(std::string("cannot take the upgrade port again: ") + error.what());
        return;
    }
    FDown = false;
}

std::string TTCamera::Signature(EFirmwareKind kind) const {
    return kind == EFirmwareKind::Ui ? "TWEB" : "TSYS";
}

std::string TTCamera::CatalogueSection(EFirmwareKind kind, std::string& note) const {
    // The upgrade tool names the section by app_model when the camera has one, else by
    // the family of the version it read (the UI version with its leading "v").
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

std::string TTCamera::ReportedVersion(EFirmwareKind kind) const {
    if (kind == EFirmwareKind::System) {
        return SysVersion();
    }
    return UiVersion().empty() ? std::string() : "v" + UiVersion();
}

// --- DH datagrams -----------------------------------------------------------------------

std::string TTCamera::DhSearchReply() const {
    if (FDown) {
        return {};
    }
    std::string reply(dh::ReplySize, '\0');
    reply.replace(0, 4, "DH\x01\x08");
    dh::PutField(reply, dh::IpOffset, 16, Endpoint().Address());
    dh::PutField(reply, dh::MaskOffset, 16, "255.0.0.0");
    dh::PutField(reply, dh::GatewayOffset, 16, "127.0.0.1");
    dh::PutField(reply, dh::Dns1Offset, 16, "127.0.0.1");
    reply.replace(dh::MacOffset, 6, MacBytes());
    reply[dh::PortOffset] = static_cast<char>(Endpoint().Port() & 0xFF);
    reply[dh::PortOffset + 1] = static_cast<char>(Endpoint().Port() >> 8);
    dh::PutField(reply, dh::DeviceIdOffset, 32, DeviceId());
    dh::PutField(reply, dh::NameOffset, 80, "camsim");
    dh::PutField(reply, dh::VersionOffset, 16, SysVersion());
    dh::PutField(reply, dh::UserOffset, 32, Config().User);
    dh::PutField(reply, dh::PasswordOffset, 32, Config().Password);
    dh::PutField(reply, 324, 64, "ddns.camsim");
    return reply;
}

std::optional<std::string> TTCamera::DhSetAnswer(std::string_view datagram) {
    if (FDown || datagram.substr(dh::MacOffset, 6) != MacBytes()) {
        return std::nullopt;
    }
    const bool accepted = !Config().Faults.Has(EFault::RefuseLogin) &&
                          dh::Field(datagram, dh::UserOffset, 32) == Config().User &&
                          dh::Field(datagram, dh::PasswordOffset, 32) == Config().Password;
    const unsigned port = static_cast<unsigned char>(datagram[dh::PortOffset]) |
                          (static_cast<unsigned char>(datagram[dh::PortOffset + 1]) << 8);
    Say("network settings by broadcast (ip " + dh::Field(datagram, dh::IpOffset, 16) + " port " +
        std::to_string(port) + ") " +
        (accepted ? "accepted; the simulation keeps its loopback address"
                  : "refused: wrong account or password"));
    std::string answer(dh::SetAnswerSize, '\0');
    answer.replace(0, dh::SetSize, datagram.substr(0, dh::SetSize));
    answer[2] = '\x02';
    answer[3] = '\x08';
    const std::uint32_t status = accepted ? dh::Accepted : 0;
    for (std::size_t i = 0; i < 4; ++i) {
        answer[dh::StatusOffset + i] = static_cast<char>((status >> (8 * i)) & 0xFF);
    }
    return answer;
}

} // namespace camsim

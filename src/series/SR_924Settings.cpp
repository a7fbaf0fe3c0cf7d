// The T-series client's settings operations: network settings by broadcast, the current
// device, login check, factory and DDNS settings, restoring defaults, Wi-Fi scan and
// settings, and refreshing a device record from the camera's pages. Every request is a GET
// without an Authorization header unless said otherwise; every value put into a URL goes
// through UrlValue, accounts, passwords and keys through UrlCredential.

#include "series/SR_924.h"

#include "i18n/Deployment.h"
#include "platform/ByteWriter.h"
#include "platform/Host.h"
#include "platform/Sleeper.h"
#include "platform/Socket.h"
#include "platform/Text.h"
#include "series/BusyPointer.h"
#include "series/SR_924Text.h"
#include "upgrade/Tools.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

namespace torvane {

namespace {

using platform::Contains;
using platform::LowerAscii;
using platform::Trim;

constexpr int CheckLoginTimeoutMs = 5000;
constexpr int RestoreTimeoutMs = 20000;
constexpr int WifiTimeoutMs = 10000;
constexpr int FactoryReadTimeoutMs = 5000;
constexpr int DdnsTimeoutMs = 10000;
constexpr int FactoryWriteTimeoutMs = 20000;
constexpr int ScanTimeoutMs = 5000;
constexpr int ScanSettleMs = 200;
constexpr int RefreshTimeoutMs = 20000;
constexpr int SetAnswerWaitMs = 30;

// Foreign datagrams ignored while waiting for the answer before giving up, so that a busy
// port cannot keep the operation waiting without end.
constexpr int MaxIgnoredDatagrams = 64;

// A Wi-Fi scan never lists more access points than this; a larger count is a bad reply.
constexpr long long MaxAccessPoints = 1000;

// A camera text in a query (SSID, MAC, server, port).
std::string Query(const std::string& value) {
    return UrlValue(value);
}

// An account, password or key in a query: "#", "&", "%", "+" and "=" are encoded too, so
// the camera gets it whole.
std::string Credential(const std::string& value) {
    return UrlCredential(value);
}

// "http://" + address, ":" + port unless it is 80.
std::string DeviceUrl(const TDevInfo& device) {
    std::string url = "http://" + device.szIPAddr;
    if (device.wPort != 80) {
        url += ":" + std::to_string(device.wPort);
    }
    return url;
}

bool Get(const std::string& url, int timeoutMs, std::string& body) {
    return TTools::HttpGet(url, {}, {}, timeoutMs, body);
}

// A decimal number of a reply; 0 when the text is not one (or does not fit 32 bits).
std::int32_t Number(const std::string& text) {
    const long long value = platform::ToIntDef(text, 0);
    return value < INT32_MIN || value > INT32_MAX ? 0 : static_cast<std::int32_t>(value);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A MAC address as the factory page takes it: twelve hexadecimal digits (":" and "-" between
// them are allowed) written as lower-case pairs joined by ":". False when the text is not
// such an address, so that no garbled address is ever written into the camera.
bool FactoryMacText(const std::string& text, std::string& out) {
    std::string digits;
    for (const char c : Trim(text)) {
        if (c == ':' || c == '-') {
            continue;
        }
        if (!IsHexDigit(c)) {
            return false;
        }
        digits += c;
    }
    if (digits.size() != 12) {
        return false;
    }
    digits = LowerAscii(digits);
    out.clear();
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (i > 0) {
            out += ':';
        }
        out.append(digits, i, 2);
    }
    return true;
}

// The MAC bytes of a record's szMac, read pair by pair; reading stops at the first pair
// that is not two hexadecimal digits, and the bytes not read stay zero.
void PutMacPairs(platform::TByteWriter& w, const std::string& mac) {
    std::uint8_t bytes[t924::Mac.Size] = {};
    for (std::size_t i = 0; i < t924::Mac.Size && 2 * i + 1 < mac.size(); ++i) {
        const char* pair = mac.data() + 2 * i;
        if (!IsHexDigit(pair[0]) || !IsHexDigit(pair[1])) {
            break;
        }
        (void)std::from_chars(pair, pair + 2, bytes[i], 16);
    }
    w.Bytes(t924::Mac.Offset, bytes, sizeof bytes);
}

std::array<std::uint8_t, t924::SetSize> BuildSetDatagram(const TDevInfo& settings,
                                                          const std::string& user,
                                                          const std::string& password) {
    std::array<std::uint8_t, t924::SetSize> d{};
    platform::TByteWriter w(d.data(), d.size());
    w.Bytes(0, t924::Head(t924::CmdSet));
    WriteAddressTexts(w.Sub(t924::Addresses), settings);
    PutMacPairs(w, settings.szMac);
    w.U16LE(t924::WebPort, settings.wPort);
    w.Text(t924::Name, settings.szName);
    w.Text(t924::Version, settings.szVersion);
    w.Text(t924::LoginUser, user);
    w.Text(t924::LoginPassword, password);
    w.U8(t924::Dhcp, settings.btDHCP == 2 ? 0 : 1);
    return d;
}

} // namespace

// --- 4: network settings by broadcast ---------------------------------------------------

bool TT924Series::SetNetworkByBroadcast(const std::string& /*ip*/, std::uint16_t /*port*/,
                                        const std::string& user, const std::string& password,
                                        const TDevInfo& newSettings,
                                        const TDevInfo& /*oldSettings*/) {
    const auto datagram = BuildSetDatagram(newSettings, user, password);
    const auto targets = SearchTargets();
    if (targets.empty()) {
        return false;
    }
    platform::TUdpSocket socket; // closed whatever the outcome
    if (!socket.Create()) {
        return false;
    }
    // The cameras answer to port 8600; when another program holds it, the answer comes
    // back to whatever port the system gives.
    (void)socket.Bind(platform::IPv4Any, T924SearchPort);
    (void)socket.SetBroadcast(true);
    if (socket.SendToTargets(datagram.data(), datagram.size(), T924SearchPort, targets) == 0) {
        return false;
    }
    for (int ignored = 0; ignored <= MaxIgnoredDatagrams; ++ignored) {
        if (socket.WaitReadable(SetAnswerWaitMs) != platform::TWaitResult::Ready) {
            return false;
        }
        std::array<std::uint8_t, t924::SetAnswerSize> answer{};
        const platform::TReceivedDatagram got = socket.ReceiveFrom(answer.data(), answer.size());
        if (!got.Ok() || got.Count == 0) {
            continue;
        }
        const platform::TByteReader r(answer.data(), std::min(got.Count, answer.size()));
        if (!t924::IsCommand(r, t924::CmdSetAnswer)) {
            continue; // our own datagram, a search reply, anything else: wait again
        }
        // An answer too short to carry its status is not an acceptance.
        return r.Has(t924::SetAnswerStatus) && r.U32LE(t924::SetAnswerStatus) == t924::SetAccepted;
    }
    return false;
}

// --- 7: login check ---------------------------------------------------------------------

bool TT924Series::CheckLogin(const std::string& baseUrl, const std::string& user,
                             const std::string& password) {
    std::string body;
    return Get(baseUrl + "/get_params.cgi?user=" + Credential(Trim(user)) +
                   "&pwd=" + Credential(Trim(password)),
               CheckLoginTimeoutMs, body) &&
           !Contains(body, "Auth Failed");
}

// --- 8: factory settings ----------------------------------------------------------------

bool TT924Series::SetFactoryParams(const std::string& user, const std::string& password,
                                   const TDevInfo& oldSettings, const TDevInfo& newSettings,
                                   const std::string& wifiMac) {
    const std::lock_guard<std::recursive_mutex> state(FStateLock);
    if (FDevice == nullptr) {
        return false;
    }
    std::string mac;
    std::string wifi;
    if (!FactoryMacText(newSettings.szID, mac) || !FactoryMacText(wifiMac, wifi)) {
        return false;
    }
    const std::string url = DeviceUrl(*FDevice);
    std::string body;
    bool result = Get(url + "/set_factory_param.cgi?user=" + Credential(Trim(user)) +
                          "&pwd=" + Credential(Trim(password)) + "&mac=" + Query(mac) +
                          "&wifimac=" + Query(wifi) + "&heartbeat=180",
                      FactoryWriteTimeoutMs, body);
    if (!result) {
        return false;
    }
    if (IsBelowUploadPortVersion(FDevice->szVersion)) {
        if (oldSettings.szIPAddr != newSettings.szIPAddr ||
            oldSettings.wPort != newSettings.wPort) {
            result = SetNetworkByBroadcast(oldSettings.szIPAddr, oldSettings.wPort, user,
                                           password, newSettings, oldSettings);
        } else {
            std::string ignored;
            (void)Get(url + "/reboot.cgi?loginuse=" + Credential(Trim(user)) +
                          "&loginpas=" + Credential(Trim(password)),
                      FactoryWriteTimeoutMs, ignored);
        }
    } else {
        (void)RestoreDefaults(user, password);
    }
    return result;
}

// --- 9: restoring defaults --------------------------------------------------------------

bool TT924Series::RestoreDefaults(const std::string& user, const std::string& password) {
    const std::lock_guard<std::recursive_mutex> state(FStateLock);
    if (FDevice == nullptr) {
        return false;
    }
    std::string body;
    return Get(DeviceUrl(*FDevice) + "/set_default.cgi?&loginuse=" + Credential(Trim(user)) +
                   "&loginpas=" + Credential(Trim(password)),
               RestoreTimeoutMs, body) &&
           Contains(LowerAscii(body), "ok");
}

// --- 10: Wi-Fi scan ---------------------------------------------------------------------

std::int32_t TT924Series::ScanWifi(const std::string& user, const std::string& password,
                                   std::vector<TWifiListEntry>& list) {
    const std::lock_guard<std::recursive_mutex> state(FStateLock);
    list.clear(); // releases the records of the previous scan
    if (FDevice == nullptr) {
        return -1;
    }
    const std::string base = "http://" + FDevice->szIPAddr + ":" +
                             std::to_string(FDevice->wPort);
    const std::string credentials =
        "?user=" + Credential(Trim(user)) + "&pwd=" + Credential(Trim(password));
    std::string body;
    if (!Get(base + "/wifi_scan.cgi" + credentials, ScanTimeoutMs, body) ||
        !Contains(body, "ok")) {
        return -1;
    }
    platform::SleepMs(ScanSettleMs); // the camera needs a moment to collect the results
    if (!Get(base + "/get_wifi_scan_result.cgi" + credentials, ScanTimeoutMs, body) ||
        !Contains(body, "var")) {
        return -1;
    }

    // The count: after the first "=", up to the next ";".
    std::string rest = body.substr(body.find('=') + 1);
    const long long announced = platform::ToIntDef(rest.substr(0, rest.find(';')), 0);
    if (announced > MaxAccessPoints) {
        return -1;
    }
    const int count = announced < 0 ? 0 : static_cast<int>(announced);
    if (count == 0) {
        return 0;
    }

    const auto first = rest.find("ap_ssid[0]");
    if (first != std::string::npos) {
        rest.erase(0, first);
    }
    rest = platform::ReplaceAll(rest, ";", "");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= rest.size()) {
        const auto end = rest.find_first_of("\r\n", start);
        lines.push_back(rest.substr(start, end == std::string::npos ? std::string::npos
                                                                    : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + (rest.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }

    std::vector<std::unique_ptr<TWiFiRecord>> records;
    records.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        records.push_back(std::make_unique<TWiFiRecord>());
    }
    for (const std::string& line : lines) {
        // Lines without a bracketed index, or with one the count does not cover, are not
        // access points of this scan.
        const auto open = line.find('[');
        const auto close = line.find(']');
        if (open == std::string::npos || close == std::string::npos || close < open) {
            continue;
        }
        const long long index = platform::ToIntDef(line.substr(open + 1, close - open - 1), -1);
        if (index < 0 || index >= count) {
            continue;
        }
        TWiFiRecord& record = *records[static_cast<std::size_t>(index)];
        const std::string n = "[" + std::to_string(index) + "]";
        const auto afterEquals = [&line] {
            const auto eq = line.find('=');
            return eq == std::string::npos ? std::string() : line.substr(eq + 1);
        };
        if (Contains(line, "ap_ssid" + n)) {
            record.Ssid = Trim(BetweenQuotes(line, '"'));
        } else if (Contains(line, "ap_mac" + n)) {
            record.Mac = BetweenQuotes(line, '"');
        } else if (Contains(line, "ap_security" + n)) {
            record.Security = Number(afterEquals());
        } else if (Contains(line, "ap_dbm0" + n)) {
            record.Dbm0 = Trim(BetweenQuotes(line, '\''));
        } else if (Contains(line, "ap_dbm1" + n)) {
            record.Dbm1 = BetweenQuotes(line, '\'');
        } else if (Contains(line, "ap_mode" + n)) {
            record.Mode = Number(afterEquals());
        }
    }
    for (auto& record : records) {
        TWifiListEntry entry;
        entry.Text = record->Ssid + "(" + record->Dbm0 + ")";
        entry.Record = std::move(record);
        list.push_back(std::move(entry));
    }
    return count;
}

// --- 11, 12: Wi-Fi settings -------------------------------------------------------------

TWifiParams* TT924Series::GetWifiParams(const std::string& user, const std::string& password) {
    const std::lock_guard<std::recursive_mutex> state(FStateLock);
    if (FWifiParams) {
        return FWifiParams.get();
    }
    if (FDevice == nullptr) {
        return nullptr;
    }
    std::string body;
    if (!Get(DeviceUrl(*FDevice) + "/get_params.cgi?user=" + Credential(Trim(user)) +
                 "&pwd=" + Credential(Trim(password)),
             WifiTimeoutMs, body) ||
        !Contains(body, "var")) {
        // Nothing read: no record is kept, so a later write cannot send empty settings
        // to the camera, and a later read asks again.
        return nullptr;
    }
    auto params = std::make_unique<TWifiParams>();
    TWifiParams& p = *params;
    p.Enable = Number(ReadVarValue(body, "var wifi_enable"));
    p.Ssid = ReadVarValue(body, "var wifi_ssid");
    p.Mode = Number(ReadVarValue(body, "var wifi_mode"));
    p.Encrypt = Number(ReadVarValue(body, "var wifi_encrypt"));
    p.AuthType = Number(ReadVarValue(body, "var wifi_authtype"));
    p.DefKey = Number(ReadVarValue(body, "var wifi_defkey"));
    p.KeyFormat = Number(ReadVarValue(body, "var wifi_keyformat"));
    for (std::size_t i = 0; i < p.Keys.size(); ++i) {
        const std::string key = "var wifi_key" + std::to_string(i + 1);
        p.Keys[i] = ReadVarValue(body, key);
        p.KeyBits[i] = Number(ReadVarValue(body, key + "_bits"));
    }
    p.WpaPsk = ReadVarValue(body, "var wifi_wpa_psk");
    FWifiParams = std::move(params);
    return FWifiParams.get();
}

std::int32_t TT924Series::SetWifiParams(const std::string& user, const std::string& password) {
    const std::lock_guard<std::recursive_mutex> state(FStateLock);
    if (FDevice == nullptr || !FWifiParams) {
        return 0;
    }
    const TBusyPointer busy;
    const TWifiParams& p = *FWifiParams;
    const auto num = [](std::int32_t v) { return std::to_string(v); };
    const std::string url = DeviceUrl(*FDevice);
    std::string request =
        url + "/set_wifi.cgi?next_url=rebootme.htm&user=" + Credential(Trim(user)) +
        "&pwd=" + Credential(Trim(password)) + "&channel=5" + "&enable=" + num(p.Enable) +
        "&ssid=" + Query(p.Ssid) + "&mode=" + num(p.Mode) + "&encrypt=" + num(p.Encrypt) +
        "&authtype=" + num(p.AuthType) + "&keyformat=" + num(p.KeyFormat) +
        "&defkey=" + num(p.DefKey);
    // key1 .. key4, then key1_bits .. key4_bits.
    for (std::size_t i = 0; i < p.Keys.size(); ++i) {
        request += "&key" + num(static_cast<std::int32_t>(i + 1)) + "=" + Credential(p.Keys[i]);
    }
    for (std::size_t i = 0; i < p.KeyBits.size(); ++i) {
        request += "&key" + num(static_cast<std::int32_t>(i + 1)) + "_bits=" + num(p.KeyBits[i]);
    }
    request += "&wpa_psk=" + Credential(Trim(p.WpaPsk));
    std::string body;
    if (!Get(request, WifiTimeoutMs, body) || !Contains(body, "reboot")) {
        return 0;
    }
    // The new settings take effect when the camera restarts; this page asks for
    // credentials the browser way.
    std::string ignored;
    return TTools::HttpGet(url + "/reboot.cgi?next_url=reboot.htm", user, password,
                           WifiTimeoutMs, ignored)
               ? 1
               : 2;
}

// --- 13, 14: factory and DDNS settings --------------------------------------------------

TFactoryParams* TT924Series::GetFactoryParams(const std::string& user,
                                              const std::string& password, bool useKeptRecord) {
    const std::lock_guard<std::recursive_mutex> state(FStateLock);
    if (FFactoryParams && useKeptRecord) {
        return FFactoryParams.get();
    }
    if (FDevice == nullptr) {
        return nullptr;
    }
    if (!FFactoryParams) {
        FFactoryParams = std::make_unique<TFactoryParams>();
    }
    TFactoryParams& p = *FFactoryParams;
    p = TFactoryParams();
    std::string body;
    if (!Get(DeviceUrl(*FDevice) + "/get_factory_param.cgi?user=" + Credential(user) +
                 "&pwd=" + Credential(password),
             FactoryReadTimeoutMs, body)) {
        p.Status = 6;
        return &p;
    }
    if (!Contains(body, "var")) {
        p.Status = 5;
        return &p;
    }
    p.Index = ReadVarValue(body, "factory_index");
    if (p.Index.empty()) {
        p.Status = 1;
        return &p;
    }
    p.Server = ReadVarValue(body, "factory_server");
    p.Port = ReadVarValue(body, "factory_port");
    p.User = ReadVarValue(body, "factory_user");
    p.Passwd = ReadVarValue(body, "factory_passwd");
    if (p.Index != "10") {
        p.Status = 2;
    } else if (p.Server.empty() || p.Port.empty() || p.Port == "0") {
        p.Status = 3;
    } else if (p.User.empty()) {
        p.Status = 4;
    } else {
        p.Status = 0;
    }
    return &p;
}

std::uint8_t TT924Series::SetDdns(const std::string& user, const std::string& password) {
    const std::lock_guard<std::recursive_mutex> state(FStateLock);
    // Without a record read from the camera there is nothing to write: the camera's DDNS
    // settings are not overwritten with empty ones.
    if (FDevice == nullptr || !FFactoryParams || FFactoryParams->Status == 5 ||
        FFactoryParams->Status == 6) {
        return 2;
    }
    const TFactoryParams& p = *FFactoryParams;
    std::string body;
    if (!Get(DeviceUrl(*FDevice) + "/set_ddns.cgi?service=11&user=" +
                 Credential(Trim(p.User)) + "&pwd=" + Credential(Trim(p.Passwd)) +
                 "&host=&proxy_svr=" + Query(Trim(p.Server)) +
                 "&proxy_port=" + Query(Trim(p.Port)) +
                 "&restart_dyndns=&loginuse=" + Credential(Trim(user)) +
                 "&loginpas=" + Credential(Trim(password)),
             DdnsTimeoutMs, body)) {
        return 2;
    }
    return Contains(body, "ok") ? 0 : 1;
}

// --- 17: refreshing a device record -----------------------------------------------------

bool TT924Series::RefreshDevice(std::int32_t /*unused1*/, std::int32_t /*unused2*/,
                                const std::string& user, const std::string& password,
                                TDevInfo*& device) {
    const std::lock_guard<std::recursive_mutex> state(FStateLock);
    if (FDevice == nullptr || device == nullptr) {
        return false;
    }
    const std::string url = DeviceUrl(*FDevice);
    const std::string credentials =
        "?loginuse=" + Credential(Trim(user)) + "&loginpas=" + Credential(Trim(password));
    std::string body;
    if (!Get(url + "/get_params.cgi" + credentials, RefreshTimeoutMs, body)) {
        return false; // the record stays as it was
    }
    TDevInfo& d = *device;
    d.nType = 9;
    d.szIPAddr = ReadLineValue(body, "ip");
    d.szMask = ReadLineValue(body, "mask");
    d.szGateway = ReadLineValue(body, "geteway"); // the camera's own spelling
    d.szDNS1 = ReadLineValue(body, "dns1");
    d.szDNS2 = ReadLineValue(body, "dns2");
    const long long port = platform::ToIntDef(ReadLineValue(body, "port"), -1);
    d.wPort = port >= 0 && port <= 0xFFFF ? static_cast<std::uint16_t>(port) : 81;
    d.btDHCP = ReadLineValue(body, "dhcpen") == "1" ? 1 : 2;
    d.szLoginUser = user;
    d.szLoginPwd = password;
    d.btDdnsOn = ReadLineValue(body, "ddns_service") == "1" ? 1 : 0;
    d.szDdnsUser = ReadLineValue(body, "ddns_user");
    d.szDdnsPwd = ReadLineValue(body, "ddns_pwd");
    d.szDdns = ReadLineValue(body, "ddns_proxy_svr");
    d.szDdnsHost = ReadLineValue(body, "ddns_host");
    d.nExtra = 808;
    if (Get(url + "/get_status.cgi" + credentials, RefreshTimeoutMs, body)) {
        d.szID = ReadLineValue(body, "mac");
        d.szMac = NormalizeMac(d.szID);
        d.szName = ReadLineValue(body, "alias");
        d.szVersion = ReadLineValue(body, "sys_ver");
        d.szSN = ReadLineValue(body, "deviceid");
    }
    return true;
}

} // namespace torvane

#include "series/uTUpgrade.h"

#include "i18n/StrRes.h"
#include "platform/Text.h"
#include "series/SR_924.h"
#include "upgrade/Tools.h"

namespace torvane {

namespace {

using platform::Contains;
using platform::Trim;

// "http://IP:Port" + path + "?user=..&pwd=..": the camera wants the credentials in the query.
std::string PageUrl(const TUpgradeObject& adapter, const std::string& path) {
    return adapter.CameraUrl(path) + "?user=" + UrlCredential(Trim(adapter.User())) +
           "&pwd=" + UrlCredential(Trim(adapter.Password()));
}

bool FetchPage(const TUpgradeObject& adapter, const std::string& path, std::string& body) {
    return TTools::HttpGet(PageUrl(adapter, path), {}, {}, TUpgradeObject::FetchTimeoutMs, body);
}

// Status page, then oem.txt. Sets deviceId and the OEM name (through setOem).
template <typename TSetOem>
int LoginT(const TUpgradeObject& adapter, std::string& deviceId, TSetOem setOem) {
    std::string body;
    if (!FetchPage(adapter, "/get_status.cgi", body) || body.empty()) {
        return TUpgradeObject::LoginUnreachable;
    }
    if (Contains(body, "Auth Failed")) {
        return TUpgradeObject::LoginRefused;
    }
    static const std::string Key = "deviceid=";
    const auto pos = body.find(Key);
    if (pos == std::string::npos) {
        deviceId.clear();
    } else {
        const auto start = pos + Key.size();
        const auto end = body.find(';', start);
        deviceId = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    std::string oem;
    if (!FetchPage(adapter, "/oem.txt", oem) || oem.empty()) {
        setOem(std::string());
        return TUpgradeObject::LoginUnreachable;
    }
    setOem(oem);
    return TUpgradeObject::LoginOk;
}

// The client decides the final address; the message carries no reason.
bool UploadT(const TUpgradeObject& adapter, bool isSystem, std::string& message) {
    const std::string baseUrl = "http://" + adapter.IP() + ":8600";
    const std::string file = Trim(adapter.LocalFirmwarePath());
    const std::shared_ptr<IT924Series> client = Series924();
    const bool done =
        isSystem ? client->UploadSystemFirmware(baseUrl, adapter.User(), adapter.Password(), file)
                 : client->UploadUIFirmware(baseUrl, adapter.User(), adapter.Password(), file);
    message = GetStrRes(done ? "IDS_UPGRADESUCC" : "IDS_UPGRADEFAIL");
    return done;
}

} // namespace

// --- UI firmware ------------------------------------------------------------------------

TTUIUpgrade::TTUIUpgrade() {
    SetAppModelLength(0);
}

void TTUIUpgrade::Create() {
    TUIUpgradeObject::Create();
    SetAppModelLength(0);
}

int TTUIUpgrade::Login() {
    return LoginT(*this, FDeviceId, [this](const std::string& oem) { SetOemName(oem); });
}

bool TTUIUpgrade::ReadCurrentVersion() {
    SetCurrentVersion({});
    std::string body;
    if (!FetchPage(*this, "/appver.js", body)) {
        return false;
    }
    SetAppModel(ReadQuotedValue(body, "app_model", '"'));
    if (!Contains(body, "app_ver")) {
        return false;
    }
    SetCurrentVersion(ReadQuotedValue(body, "app_ver", '"')); // kept as it is, "v" and all
    return true;
}

bool TTUIUpgrade::Upload(std::string& message) {
    return UploadT(*this, false, message);
}

// --- system firmware --------------------------------------------------------------------

TTSYSUpgrade::TTSYSUpgrade() {
    SetAppModelLength(0);
}

void TTSYSUpgrade::Create() {
    TSysUpgradeObject::Create();
    SetAppModelLength(0);
}

int TTSYSUpgrade::Login() {
    return LoginT(*this, FDeviceId, [this](const std::string& oem) { SetOemName(oem); });
}

bool TTSYSUpgrade::ReadCurrentVersion() {
    SetCurrentVersion({});
    std::string body;
    if (FetchPage(*this, "/appver.js", body)) {
        SetAppModel(ReadQuotedValue(body, "app_model", '"'));
    }
    if (!FetchPage(*this, "/get_status.cgi", body) || !Contains(body, "sys_ver")) {
        return false;
    }
    SetCurrentVersion(ReadQuotedValue(body, "sys_ver", '"'));
    return true;
}

bool TTSYSUpgrade::Upload(std::string& message) {
    return UploadT(*this, true, message);
}

} // namespace torvane

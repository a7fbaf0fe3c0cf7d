#include "series/uTUpgrade.h"

#include "i18n/StrRes.h"
#include "platform/Text.h"
#include "series/SR_924.h"
#include "upgrade/Tools.h"

#include <memory>

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

} // namespace

// Status page, then oem.txt.
template <typename TKind>
int TTSeriesAdapter<TKind>::Login() {
    std::string body;
    if (!FetchPage(*this, "/get_status.cgi", body) || body.empty()) {
        return TUpgradeObject::LoginUnreachable;
    }
    if (Contains(body, "Auth Failed")) {
        return TUpgradeObject::LoginRefused;
    }
    static const std::string Key = "deviceid=";
    const auto pos = body.find(Key);
    if (pos == std::string::npos) {
        FDeviceId.clear();
    } else {
        const auto start = pos + Key.size();
        const auto end = body.find(';', start);
        FDeviceId = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    std::string oem;
    if (!FetchPage(*this, "/oem.txt", oem) || oem.empty()) {
        this->SetOemName(std::string());
        return TUpgradeObject::LoginUnreachable;
    }
    this->SetOemName(oem);
    return TUpgradeObject::LoginOk;
}

// The client decides the final address; the message carries no reason.
template <typename TKind>
bool TTSeriesAdapter<TKind>::Upload(std::string& message) {
    const std::string baseUrl = "http://" + this->IP() + ":8600";
    const std::string file = Trim(this->LocalFirmwarePath());
    const std::shared_ptr<IT924Series> client = Series924();
    const bool done = IsSystemKind<TKind>
                          ? client->UploadSystemFirmware(baseUrl, this->User(), this->Password(), file)
                          : client->UploadUIFirmware(baseUrl, this->User(), this->Password(), file);
    message = GetStrRes(done ? "IDS_UPGRADESUCC" : "IDS_UPGRADEFAIL");
    return done;
}

template class TTSeriesAdapter<TUIUpgradeObject>;
template class TTSeriesAdapter<TSysUpgradeObject>;

// --- UI firmware ------------------------------------------------------------------------

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

// --- system firmware --------------------------------------------------------------------

bool TTSYSUpgrade::ReadCurrentVersion() {
    SetCurrentVersion({});
    std::string body;
    if (FetchPage(*this, "/appver.js", body)) {
        SetAppModel(ReadQuotedValue(body, "app_model", '"'));
    }
    return ReadVersionFromPage(*this, PageUrl(*this, "/get_status.cgi"), "sys_ver", '"');
}

} // namespace torvane

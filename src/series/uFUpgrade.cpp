#include "series/uFUpgrade.h"

#include "i18n/StrRes.h"
#include "platform/Text.h"
#include "series/PostFirmware.h"
#include "upgrade/Tools.h"

namespace torvane {

namespace {

using platform::Trim;

const std::string UISignature("\xBD\x9A\x0C\x44", 4);
const std::string SystemSignature("BNEG", 4);

// The camera's status page: the value of key in single quotes. False when the page cannot
// be had or does not name the key; CurrentVersion is then left as it was.
bool ReadStatusVersion(TUpgradeObject& adapter, const std::string& key) {
    std::string body;
    if (!TTools::HttpGet(adapter.CameraUrl("/get_status.cgi"), {}, {},
                         TUpgradeObject::FetchTimeoutMs, body)) {
        return false;
    }
    if (!platform::Contains(body, key)) {
        return false;
    }
    adapter.SetCurrentVersion(ReadQuotedValue(body, key, '\''));
    return true;
}

// Checks the file's signature and sends it with the account and password in the query.
// A file that cannot be opened at all raises TFirmwareFileError out of here.
bool UploadWithSignature(const TUpgradeObject& adapter, const std::string& path,
                         const std::string& signature, std::string& message) {
    const std::string url = adapter.UploadUrl(path) +
                            "?user=" + UrlCredential(Trim(adapter.User())) +
                            "&pwd=" + UrlCredential(Trim(adapter.Password())) +
                            "&next_url=reboot.htm";
    const std::string& file = adapter.LocalFirmwarePath();
    std::string head;
    if (!ReadFirmwareSignature(file, head) || head != signature) {
        message = GetStrRes("IDS_UPGRADEFILEERR");
        return false;
    }
    const TPostResult result = PostFirmware(url, file, "application/octet-stream", TPostVariant::F);
    if (!result.Completed) {
        message = GetStrRes("IDS_UPGRADEFAIL") + result.ErrorText;
        return false;
    }
    message = GetStrRes("IDS_UPGRADESUCC");
    return true;
}

} // namespace

TFUIUpgrade::TFUIUpgrade() {
    SetAppModelLength(0);
}

void TFUIUpgrade::Create() {
    TUIUpgradeObject::Create();
    SetAppModelLength(0);
}

bool TFUIUpgrade::ReadCurrentVersion() {
    return ReadStatusVersion(*this, "app_ver");
}

bool TFUIUpgrade::Upload(std::string& message) {
    return UploadWithSignature(*this, "/upgrade_htmls.cgi", UISignature, message);
}

TFSYSUpgrade::TFSYSUpgrade() {
    SetAppModelLength(0);
}

void TFSYSUpgrade::Create() {
    TSysUpgradeObject::Create();
    SetAppModelLength(0);
}

bool TFSYSUpgrade::ReadCurrentVersion() {
    return ReadStatusVersion(*this, "sys_ver");
}

bool TFSYSUpgrade::Upload(std::string& message) {
    return UploadWithSignature(*this, "/upgrade_firmware.cgi", SystemSignature, message);
}

} // namespace torvane

#include "series/uHUpgrade.h"

#include "i18n/StrRes.h"
#include "platform/Text.h"
#include "series/PostFirmware.h"
#include "upgrade/Tools.h"

namespace torvane {

namespace {

using platform::Trim;

// Sends the file (trimmed path) with Basic credentials; no signature is compared, only a
// file shorter than four bytes is refused. A file that cannot be opened at all raises
// TFirmwareFileError out of here.
bool UploadWithCredentials(const TUpgradeObject& adapter, const std::string& pathAndQuery,
                           std::string& message) {
    const std::string url = adapter.UploadUrl(pathAndQuery);
    const std::string file = Trim(adapter.LocalFirmwarePath());
    std::string head;
    if (!ReadFirmwareSignature(file, head)) {
        message = GetStrRes("IDS_UPGRADEFILEERR");
        return false;
    }
    const TPostResult result =
        PostFirmware(url, file, "application/x-zip-compressed", TPostVariant::H,
                     TPostCredentials{Trim(adapter.User()), Trim(adapter.Password())});
    if (!result.Completed) {
        message = GetStrRes("IDS_UPGRADEFAIL") + result.ErrorText;
        return false;
    }
    message = GetStrRes("IDS_UPGRADESUCC");
    return true;
}

} // namespace

THUIUpgrade::THUIUpgrade() {
    SetAppModelLength(0);
}

void THUIUpgrade::Create() {
    TUIUpgradeObject::Create();
    SetAppModelLength(0);
}

bool THUIUpgrade::Upload(std::string& message) {
    return UploadWithCredentials(*this, "/cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm", message);
}

THSYSUpgrade::THSYSUpgrade() {
    SetAppModelLength(0);
}

void THSYSUpgrade::Create() {
    TSysUpgradeObject::Create();
    SetAppModelLength(0);
}

bool THSYSUpgrade::ReadCurrentVersion() {
    const bool modelRead = TSysUpgradeObject::ReadCurrentVersion();
    std::string body;
    if (!TTools::HttpGet(CameraUrl("/get_status.cgi"), {}, {}, FetchTimeoutMs, body) ||
        !platform::Contains(body, "sys_ver")) {
        return modelRead;
    }
    SetCurrentVersion(ReadQuotedValue(body, "sys_ver", '"'));
    return true;
}

bool THSYSUpgrade::Upload(std::string& message) {
    return UploadWithCredentials(*this, "/cgi-bin/upgrade_firmware.cgi", message);
}

} // namespace torvane

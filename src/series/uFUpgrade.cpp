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

} // namespace

template <typename TKind>
bool TFSeriesAdapter<TKind>::ReadCurrentVersion() {
    const char* key = IsSystemKind<TKind> ? "sys_ver" : "app_ver";
    return ReadVersionFromPage(*this, this->CameraUrl("/get_status.cgi"), key, '\'');
}

// Checks the file's signature and sends it with the account and password in the query.
// A file that cannot be opened at all raises TFirmwareFileError out of here.
template <typename TKind>
bool TFSeriesAdapter<TKind>::Upload(std::string& message) {
    const char* path = IsSystemKind<TKind> ? "/upgrade_firmware.cgi" : "/upgrade_htmls.cgi";
    const std::string url = this->UploadUrl(path) +
                            "?user=" + UrlCredential(Trim(this->User())) +
                            "&pwd=" + UrlCredential(Trim(this->Password())) +
                            "&next_url=reboot.htm";
    const std::string& file = this->LocalFirmwarePath();
    std::string head;
    if (!ReadFirmwareSignature(file, head) ||
        head != (IsSystemKind<TKind> ? SystemSignature : UISignature)) {
        message = GetStrRes("IDS_UPGRADEFILEERR");
        return false;
    }
    return UploadOutcome(
        PostFirmware(url, file, "application/octet-stream", TPostVariant::F), message);
}

template class TFSeriesAdapter<TUIUpgradeObject>;
template class TFSeriesAdapter<TSysUpgradeObject>;

} // namespace torvane

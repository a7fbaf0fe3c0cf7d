#include "series/uHUpgrade.h"

#include "i18n/StrRes.h"
#include "platform/Text.h"
#include "series/PostFirmware.h"

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
    return UploadOutcome(
        PostFirmware(url, file, "application/x-zip-compressed", TPostVariant::H,
                     TPostCredentials{Trim(adapter.User()), Trim(adapter.Password())}),
        message);
}

} // namespace

bool THUIUpgrade::Upload(std::string& message) {
    return UploadWithCredentials(*this, "/cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm", message);
}

bool THSYSUpgrade::ReadCurrentVersion() {
    const bool modelRead = TSysUpgradeObject::ReadCurrentVersion();
    return ReadVersionFromPage(*this, CameraUrl("/get_status.cgi"), "sys_ver", '"') || modelRead;
}

bool THSYSUpgrade::Upload(std::string& message) {
    return UploadWithCredentials(*this, "/cgi-bin/upgrade_firmware.cgi", message);
}

} // namespace torvane

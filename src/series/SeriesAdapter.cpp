#include "series/SeriesAdapter.h"

#include "i18n/StrRes.h"
#include "platform/Text.h"
#include "upgrade/Tools.h"

namespace torvane {

bool ReadVersionFromPage(TUpgradeObject& adapter, const std::string& url,
                         const std::string& key, char quote) {
    std::string body;
    if (!TTools::HttpGet(url, {}, {}, TUpgradeObject::FetchTimeoutMs, body) ||
        !platform::Contains(body, key)) {
        return false;
    }
    adapter.SetCurrentVersion(ReadQuotedValue(body, key, quote));
    return true;
}

bool UploadOutcome(const TPostResult& result, std::string& message) {
    if (!result.Completed) {
        message = GetStrRes("IDS_UPGRADEFAIL") + result.ErrorText;
        return false;
    }
    message = GetStrRes("IDS_UPGRADESUCC");
    return true;
}

} // namespace torvane

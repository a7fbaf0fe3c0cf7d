#pragma once
// What the E, F, H and T adapters share. Each adapter is its kind-level class (firmware
// kind UI or system) with Create replaced: the kind's defaults, then AppModelLength 0, so
// the whole app_model names the catalogue section. The constructor does the same.
// Beside it, the two steps the F, H and T adapters take alike: reading the version from a
// status page and turning an upload's result into the run's message.

#include "series/PostFirmware.h"
#include "upgrade/uIUpgrade.h"

#include <string>
#include <type_traits>

namespace torvane {

// True for the system firmware's kind.
template <typename TKind>
inline constexpr bool IsSystemKind = std::is_base_of_v<TSysUpgradeObject, TKind>;

template <typename TKind>
class TSeriesAdapter : public TKind {
public:
    TSeriesAdapter() { this->SetAppModelLength(0); }
    void Create() override {
        TKind::Create();
        this->SetAppModelLength(0);
    }
};

// Fetches url (no Basic credentials) and, when the page names key, sets CurrentVersion to
// key's quoted value and gives true. False when the page cannot be had or does not name the
// key; CurrentVersion is then left as it was.
[[nodiscard]] bool ReadVersionFromPage(TUpgradeObject& adapter, const std::string& url,
                                       const std::string& key, char quote);

// The run's message for a firmware POST: IDS_UPGRADESUCC, or IDS_UPGRADEFAIL followed by
// the status line or network error. Gives whether the camera took the file.
[[nodiscard]] bool UploadOutcome(const TPostResult& result, std::string& message);

} // namespace torvane

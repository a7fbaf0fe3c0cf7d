#pragma once
// H-series upgrade adapters. The upload programs live under /cgi-bin and take Basic
// credentials with the request; any file of at least four bytes is sent.

#include "series/SeriesAdapter.h"

namespace torvane {

class THUIUpgrade : public TSeriesAdapter<TUIUpgradeObject> {
public:
    [[nodiscard]] bool Upload(std::string& message) override;
};

class THSYSUpgrade : public TSeriesAdapter<TSysUpgradeObject> {
public:
    // AppModel from /appver.js, then the "sys_ver" value (double quotes) of
    // /get_status.cgi; an unreachable status page leaves CurrentVersion empty and is not a
    // failure.
    [[nodiscard]] bool ReadCurrentVersion() override;
    [[nodiscard]] bool Upload(std::string& message) override;
};

} // namespace torvane

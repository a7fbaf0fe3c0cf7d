#pragma once
// T-series upgrade adapters. The camera takes the account and password as URL parameters
// on every CGI page of its web port (a status page that says "Auth Failed" refuses them)
// and takes firmware on port 8600 through the T-series client (Series924()).

#include "series/SeriesAdapter.h"

#include <string>

namespace torvane {

// The login and the upload, the same for both kinds.
template <typename TKind>
class TTSeriesAdapter : public TSeriesAdapter<TKind> {
public:
    // 0 logged in (DeviceId and OemName set), 1 "Auth Failed", 2 no usable answer.
    [[nodiscard]] int Login() override;
    [[nodiscard]] bool Upload(std::string& message) override;

    // The camera's device id as the login read it (quotes included); empty before.
    [[nodiscard]] const std::string& DeviceId() const { return FDeviceId; }

private:
    std::string FDeviceId;
};

extern template class TTSeriesAdapter<TUIUpgradeObject>;
extern template class TTSeriesAdapter<TSysUpgradeObject>;

class TTUIUpgrade : public TTSeriesAdapter<TUIUpgradeObject> {
public:
    // AppModel and CurrentVersion from /appver.js; the version exactly as the page has it.
    [[nodiscard]] bool ReadCurrentVersion() override;
};

class TTSYSUpgrade : public TTSeriesAdapter<TSysUpgradeObject> {
public:
    // AppModel from /appver.js when it answers; CurrentVersion from sys_ver of the status
    // page.
    [[nodiscard]] bool ReadCurrentVersion() override;
};

} // namespace torvane

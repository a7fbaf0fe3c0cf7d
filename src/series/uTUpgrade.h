#pragma once
// T-series upgrade adapters. The camera takes the account and password as URL parameters
// on every CGI page of its web port (a status page that says "Auth Failed" refuses them)
// and takes firmware on port 8600 through the T-series client (Series924()).

#include "upgrade/uIUpgrade.h"

#include <string>

namespace torvane {

class TTUIUpgrade : public TUIUpgradeObject {
public:
    TTUIUpgrade();
    void Create() override;
    // 0 logged in (DeviceId and OemName set), 1 "Auth Failed", 2 no usable answer.
    [[nodiscard]] int Login() override;
    // AppModel and CurrentVersion from /appver.js; the version exactly as the page has it.
    [[nodiscard]] bool ReadCurrentVersion() override;
    [[nodiscard]] bool Upload(std::string& message) override;

    // The camera's device id as the login read it (quotes included); empty before.
    [[nodiscard]] const std::string& DeviceId() const { return FDeviceId; }

private:
    std::string FDeviceId;
};

class TTSYSUpgrade : public TSysUpgradeObject {
public:
    TTSYSUpgrade();
    void Create() override;
    [[nodiscard]] int Login() override;
    // AppModel from /appver.js when it answers; CurrentVersion from sys_ver of the status
    // page.
    [[nodiscard]] bool ReadCurrentVersion() override;
    [[nodiscard]] bool Upload(std::string& message) override;

    [[nodiscard]] const std::string& DeviceId() const { return FDeviceId; }

private:
    std::string FDeviceId;
};

} // namespace torvane

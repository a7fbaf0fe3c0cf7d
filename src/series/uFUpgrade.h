#pragma once
// F-series upgrade adapters. The camera reports its versions on /get_status.cgi (values in
// single quotes) and takes firmware by a multipart POST whose query carries the account and
// password; each adapter accepts only files that begin with its kind's signature.

#include "upgrade/uIUpgrade.h"

namespace torvane {

class TFUIUpgrade : public TUIUpgradeObject {
public:
    TFUIUpgrade();
    void Create() override;
    // CurrentVersion from the "app_ver" value of /get_status.cgi.
    [[nodiscard]] bool ReadCurrentVersion() override;
    [[nodiscard]] bool Upload(std::string& message) override;
};

class TFSYSUpgrade : public TSysUpgradeObject {
public:
    TFSYSUpgrade();
    void Create() override;
    // CurrentVersion from the "sys_ver" value of /get_status.cgi.
    [[nodiscard]] bool ReadCurrentVersion() override;
    [[nodiscard]] bool Upload(std::string& message) override;
};

} // namespace torvane

#pragma once
// T-series upgrade adapters.

#include "upgrade/uIUpgrade.h"

namespace torvane {

class TTUIUpgrade : public TUIUpgradeObject {
public:
    TTUIUpgrade();
    void Create() override;
};

class TTSYSUpgrade : public TSysUpgradeObject {
public:
    TTSYSUpgrade();
    void Create() override;
};

} // namespace torvane

#pragma once
// H-series upgrade adapters.

#include "upgrade/uIUpgrade.h"

namespace torvane {

class THUIUpgrade : public TUIUpgradeObject {
public:
    THUIUpgrade();
    void Create() override;
};

class THSYSUpgrade : public TSysUpgradeObject {
public:
    THSYSUpgrade();
    void Create() override;
};

} // namespace torvane

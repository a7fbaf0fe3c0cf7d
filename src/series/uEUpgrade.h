#pragma once
// E-series upgrade adapters.

#include "upgrade/uIUpgrade.h"

namespace torvane {

class TEUIUpgrade : public TUIUpgradeObject {
public:
    TEUIUpgrade();
    void Create() override;
};

class TESYSUpgrade : public TSysUpgradeObject {
public:
    TESYSUpgrade();
    void Create() override;
};

} // namespace torvane

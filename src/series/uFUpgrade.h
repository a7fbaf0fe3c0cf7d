#pragma once
// F-series upgrade adapters.

#include "upgrade/uIUpgrade.h"

namespace torvane {

class TFUIUpgrade : public TUIUpgradeObject {
public:
    TFUIUpgrade();
    void Create() override;
};

class TFSYSUpgrade : public TSysUpgradeObject {
public:
    TFSYSUpgrade();
    void Create() override;
};

} // namespace torvane

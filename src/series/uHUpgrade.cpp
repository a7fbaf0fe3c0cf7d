#include "series/uHUpgrade.h"

namespace torvane {

THUIUpgrade::THUIUpgrade() {
    SetAppModelLength(0);
}

void THUIUpgrade::Create() {
    TUIUpgradeObject::Create();
    SetAppModelLength(0);
}

THSYSUpgrade::THSYSUpgrade() {
    SetAppModelLength(0);
}

void THSYSUpgrade::Create() {
    TSysUpgradeObject::Create();
    SetAppModelLength(0);
}

} // namespace torvane

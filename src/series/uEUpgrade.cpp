#include "series/uEUpgrade.h"

namespace torvane {

TEUIUpgrade::TEUIUpgrade() {
    SetAppModelLength(0);
}

void TEUIUpgrade::Create() {
    TUIUpgradeObject::Create();
    SetAppModelLength(0);
}

TESYSUpgrade::TESYSUpgrade() {
    SetAppModelLength(0);
}

void TESYSUpgrade::Create() {
    TSysUpgradeObject::Create();
    SetAppModelLength(0);
}

} // namespace torvane

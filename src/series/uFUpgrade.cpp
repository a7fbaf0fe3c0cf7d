#include "series/uFUpgrade.h"

namespace torvane {

TFUIUpgrade::TFUIUpgrade() {
    SetAppModelLength(0);
}

void TFUIUpgrade::Create() {
    TUIUpgradeObject::Create();
    SetAppModelLength(0);
}

TFSYSUpgrade::TFSYSUpgrade() {
    SetAppModelLength(0);
}

void TFSYSUpgrade::Create() {
    TSysUpgradeObject::Create();
    SetAppModelLength(0);
}

} // namespace torvane

#include "series/uTUpgrade.h"

namespace torvane {

TTUIUpgrade::TTUIUpgrade() {
    SetAppModelLength(0);
}

void TTUIUpgrade::Create() {
    TUIUpgradeObject::Create();
    SetAppModelLength(0);
}

TTSYSUpgrade::TTSYSUpgrade() {
    SetAppModelLength(0);
}

void TTSYSUpgrade::Create() {
    TSysUpgradeObject::Create();
    SetAppModelLength(0);
}

} // namespace torvane

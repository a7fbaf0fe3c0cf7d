#include "series/SeriesUnits.h"

#include "series/uEUpgrade.h"
#include "series/uFUpgrade.h"
#include "series/uHUpgrade.h"
#include "series/uTUpgrade.h"
#include "upgrade/uUpgradeFactory.h"


namespace torvane {

namespace {

template <class T> TUpgradeFactory::TCreator Make() {
    return [] { return std::make_unique<T>(); };
}

} // namespace

void RegisterSeriesAdapters() {
    TUpgradeFactory::RegisterCreator(0, true, Make<TESYSUpgrade>());
    TUpgradeFactory::RegisterCreator(0, false, Make<TEUIUpgrade>());
    TUpgradeFactory::RegisterCreator(1, true, Make<TFSYSUpgrade>());
    TUpgradeFactory::RegisterCreator(1, false, Make<TFUIUpgrade>());
    TUpgradeFactory::RegisterCreator(2, true, Make<THSYSUpgrade>());
    TUpgradeFactory::RegisterCreator(2, false, Make<THUIUpgrade>());
    TUpgradeFactory::RegisterCreator(3, true, Make<TTSYSUpgrade>());
    TUpgradeFactory::RegisterCreator(3, false, Make<TTUIUpgrade>());
}

} // namespace torvane

#include "upgrade/uUpgradeFactory.h"

#include "platform/Context.h"

#include <array>
#include <mutex>

namespace torvane {

namespace {

// The creators of one context (platform/Context.h): a fresh context makes nothing until
// its program (or test) registers them.
struct TRegistry {
    std::mutex Lock;
    std::array<std::array<TUpgradeFactory::TCreator, 2>, TUpgradeFactory::SeriesCount> Creators;
};

TRegistry& Registry() {
    return platform::Context().Part<TRegistry>();
}

} // namespace

std::unique_ptr<TUpgradeObject> TUpgradeFactory::CreateUpgrade(int seriesIndex, bool isSystem) {
    if (seriesIndex < 0 || seriesIndex >= SeriesCount) {
        return nullptr;
    }
    TCreator creator;
    {
        std::lock_guard<std::mutex> g(Registry().Lock);
        creator = Registry().Creators[static_cast<std::size_t>(seriesIndex)][isSystem ? 1 : 0];
    }
    if (!creator) {
        return nullptr;
    }
    std::unique_ptr<TUpgradeObject> adapter = creator();
    if (adapter) {
        adapter->SetSeriesName(std::string(1, "EFHT"[seriesIndex]));
    }
    return adapter;
}

void TUpgradeFactory::RegisterCreator(int seriesIndex, bool isSystem, TCreator creator) {
    if (seriesIndex < 0 || seriesIndex >= SeriesCount) {
        return;
    }
    std::lock_guard<std::mutex> g(Registry().Lock);
    Registry().Creators[static_cast<std::size_t>(seriesIndex)][isSystem ? 1 : 0] =
        std::move(creator);
}

} // namespace torvane

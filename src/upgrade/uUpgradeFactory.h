#pragma once
// Turns the series index and the firmware kind chosen in the main window into a new
// upgrade adapter.
//
//   index  series  system firmware   UI firmware
//   0      E       TESYSUpgrade      TEUIUpgrade
//   1      F       TFSYSUpgrade      TFUIUpgrade
//   2      H       THSYSUpgrade      THUIUpgrade
//   3      T       TTSYSUpgrade      TTUIUpgrade
//
// The series classes live in the series library, which depends on this one; it hands its
// constructors over with RegisterSeriesAdapters (src/series/SeriesUnits.h), which the
// program calls at start-up before the first adapter is made. The creators belong to the
// current context (platform/Context.h); a fresh one has none.

#include "upgrade/uIUpgrade.h"

#include <functional>
#include <memory>

namespace torvane {

class TUpgradeFactory {
public:
    TUpgradeFactory() = delete;

    using TCreator = std::function<std::unique_ptr<TUpgradeObject>()>;
    static constexpr int SeriesCount = 4;

    // A new adapter, or none for an index outside 0..3 (or before the series are known).
    [[nodiscard]] static std::unique_ptr<TUpgradeObject> CreateUpgrade(int seriesIndex,
                                                                      bool isSystem);
    static void RegisterCreator(int seriesIndex, bool isSystem, TCreator creator);
};

} // namespace torvane

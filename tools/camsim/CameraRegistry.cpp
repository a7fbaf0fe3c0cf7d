#include "CameraRegistry.h"

#include "Camera.h"
#include "Error.h"

#include <algorithm>

namespace camsim {

TCameraRegistry& TCameraRegistry::Instance() {
    static TCameraRegistry registry;
    return registry;
}

void TCameraRegistry::Register(TSeriesInfo series) {
    FSeries.push_back(std::move(series));
}

const TSeriesInfo* TCameraRegistry::Find(const std::string& letter) const {
    for (const TSeriesInfo& series : FSeries) {
        if (series.Letter == letter) {
            return &series;
        }
    }
    return nullptr;
}

std::vector<const TSeriesInfo*> TCameraRegistry::All() const {
    std::vector<const TSeriesInfo*> all;
    for (const TSeriesInfo& series : FSeries) {
        all.push_back(&series);
    }
    std::sort(all.begin(), all.end(),
              [](const TSeriesInfo* a, const TSeriesInfo* b) { return a->Letter < b->Letter; });
    return all;
}

std::unique_ptr<TCamera> TCameraRegistry::Create(const TCameraContext& context,
                                                 const TCameraConfig& config) const {
    std::string known;
    for (const TSeriesInfo* series : All()) {
        known += (known.empty() ? "" : ", ") + series->Letter;
    }
    if (config.Series.empty()) {
        throw TUsageError(config.Origin + ": no series given (series=" + known + ")");
    }
    const TSeriesInfo* series = Find(config.Series);
    if (series == nullptr) {
        throw TUsageError(config.Origin + ": series " + config.Series +
                          " is not simulated (known: " + known + ")");
    }
    if (config.Ip.empty()) {
        throw TUsageError(config.Origin + ": no ip given (ip=127.0.0.x)");
    }
    return series->Create(context, config, *series);
}

} // namespace camsim

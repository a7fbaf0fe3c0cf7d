#pragma once

#include "CameraConfig.h"
#include "EventLoop.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace camsim {

class TCamera;

// What every camera gets from the simulation as a whole.
struct TCameraContext {
    TEventLoop& Loop;
    long long DefaultRebootMs = 20'000;
    double TimeScale = 1.0;
    std::size_t FirmwareSize = 16 * 1024;
    bool Verbose = false;
};

struct TSeriesInfo {
    std::string Letter;            // "F"
    std::string Summary;           // one line for --help
    std::string DefaultSysVersion;
    std::string DefaultUiVersion;
    std::function<std::unique_ptr<TCamera>(const TCameraContext&, const TCameraConfig&,
                                           const TSeriesInfo&)>
        Create;
};

// The camera series camsim can simulate. Each series registers itself from its own source
// file with a TSeriesRegistrar, so a new series is one new file pair and one line in
// CMakeLists.txt, and nothing else changes.
class TCameraRegistry {
public:
    static TCameraRegistry& Instance();

    void Register(TSeriesInfo series);
    [[nodiscard]] const TSeriesInfo* Find(const std::string& letter) const;
    [[nodiscard]] std::vector<const TSeriesInfo*> All() const; // by letter
    // Makes the camera; throws TUsageError for an unknown or missing series.
    [[nodiscard]] std::unique_ptr<TCamera> Create(const TCameraContext& context,
                                                  const TCameraConfig& config) const;

private:
    std::vector<TSeriesInfo> FSeries;
};

struct TSeriesRegistrar {
    explicit TSeriesRegistrar(TSeriesInfo series) {
        TCameraRegistry::Instance().Register(std::move(series));
    }
};

} // namespace camsim

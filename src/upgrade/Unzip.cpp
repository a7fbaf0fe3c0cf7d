#include "upgrade/uIUpgradeOpt.h"

namespace torvane {

// Unpacking lands with the package checks of the upgrade pipeline.
bool TUpgradeOpt::UnzipPackage(const std::string& /*package*/, const std::string& /*target*/) {
    return false;
}

} // namespace torvane

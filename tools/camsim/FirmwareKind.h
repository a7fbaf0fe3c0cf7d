#pragma once

#include <string>

namespace camsim {

// System firmware or web-interface ("UI") firmware.
enum class EFirmwareKind { System, Ui };

[[nodiscard]] inline std::string KindName(EFirmwareKind kind) {
    return kind == EFirmwareKind::System ? "system" : "ui";
}

} // namespace camsim

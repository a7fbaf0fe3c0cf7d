#pragma once

#include <string>

namespace camsim {

[[nodiscard]] std::string HelpText();

} // namespace camsim

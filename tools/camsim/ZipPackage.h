#pragma once

#include <string>
#include <string_view>

namespace camsim {

// A ZIP archive, built in memory, holding one file (deflated) under the given name.
// Throws TRuntimeError when libzip fails.
[[nodiscard]] std::string BuildZipPackage(std::string_view entryName, std::string_view content);

} // namespace camsim

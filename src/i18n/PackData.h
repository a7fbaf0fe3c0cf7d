#pragma once
// The language packs built into the program: the stored form of the pack holder's store
// (items "b5", "cn" and "en", each a complete pack file in its code page). The build
// generates the definition from the UTF-8 pack sources in packs/.

#include <cstddef>
#include <string_view>

namespace torvane {

[[nodiscard]] std::string_view EmbeddedPackStoreForm();

} // namespace torvane

#pragma once

#include <string_view>

namespace camsim {

// One line on standard output, flushed at once: tests read camsim's output line by line
// (they wait for "ready") while it keeps running.
void Say(std::string_view line);
// One line on standard error, prefixed with the program name.
void Complain(std::string_view line);

} // namespace camsim

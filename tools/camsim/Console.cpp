#include "Console.h"

#include <iostream>

namespace camsim {

void Say(std::string_view line) {
    std::cout << line << '\n' << std::flush;
}

void Complain(std::string_view line) {
    std::cerr << "torvane-camsim: " << line << '\n' << std::flush;
}

} // namespace camsim

#pragma once

#include <stdexcept>
#include <string>

namespace camsim {

// A bad option, a bad configuration or an address outside loopback: camsim exits with 2.
class TUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Something the system refused while running (a port already taken, out of memory...):
// camsim exits with 1.
class TRuntimeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace camsim

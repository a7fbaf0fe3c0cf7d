#pragma once
// The window program once its command line has been looked at (--help and --version end
// it before this): the application object, the host, the deployment settings, the series
// adapters, the main window with its event loop, and the wait for a worker on its way
// out. The program's main runs it with the window's host; the window tests' copy of the
// program runs the same start-up with a host of their own.

#include "platform/Host.h"

#include <functional>
#include <memory>

namespace torvane {

// Makes the host once the application object exists (a Qt host must be made after it).
using THostFactory = std::function<std::unique_ptr<platform::IHost>()>;

// Runs the program and returns its exit status. argc and argv go to the application
// object, which keeps a reference to argc.
[[nodiscard]] int RunWindowProgram(int& argc, char* argv[], const THostFactory& makeHost);

} // namespace torvane

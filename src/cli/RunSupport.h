#pragma once
// What the commands that upgrade cameras (upgrade, batch) share: the console host, the
// scope that installs it with the sleeper, and the settings every run starts from.

#include "cli/Commands.h"
#include "platform/Host.h"
#include "platform/Sleeper.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace torvane::cli {

// The host of the command line, with the program's name before every box it shows.
class TCliHost : public platform::TConsoleHost {
public:
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
};

// Installs the host and the sleeper for the command's life and takes them back at its end
// (every worker has been joined by then).
class THostScope {
public:
    THostScope(platform::IHost& host, platform::ISleeper* sleeper);
    ~THostScope();
    THostScope(const THostScope&) = delete;
    THostScope& operator=(const THostScope&) = delete;
};

// The columns a text takes on a terminal: East Asian wide characters take two.
[[nodiscard]] std::size_t DisplayWidth(const std::string& text);

// The run's settings: the time scale of TORVANE_CLI_TIME_SCALE (made into scaled), the
// packs' check, --server, --broadcast and --interface into the deployment settings, and
// the trace of what is used. The exit status when the command must end here (the error
// has been printed), nothing when it goes on.
[[nodiscard]] std::optional<int> PrepareUpgradeRun(const TCommandContext& context,
                                                   const std::string& command,
                                                   std::unique_ptr<platform::TScaledSleeper>& scaled);

} // namespace torvane::cli

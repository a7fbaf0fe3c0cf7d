#pragma once
// Option rows that more than one command takes. Each row keeps its name, value, check and
// completion here; the command gives the part of the help text that is its own, and the
// row adds the default the option falls back to.

#include "cli/Options.h"

#include <string>
#include <vector>

namespace torvane::cli {

// The camera's factory account and password, as the window fills them in.
inline constexpr const char* DefaultUser = "admin";
inline constexpr const char* DefaultPassword = "135790";

// --user NAME: whose is the help's start ("the camera's account").
[[nodiscard]] TOptionSpec UserOption(const std::string& whose);
// --password PASSWORD: whose is the help's start; dashAlso what "-" does besides asking on
// the terminal (", or reads ..."), empty for nothing more.
[[nodiscard]] TOptionSpec PasswordOption(const std::string& whose, const std::string& dashAlso);
// --password-file FILE, with its whole help.
[[nodiscard]] TOptionSpec PasswordFileOption(const std::string& help);
// --firmware system|ui|both: which firmware to install; words are the three in the order the
// command's help lists them.
[[nodiscard]] TOptionSpec FirmwareOption(const std::vector<std::string>& words);
// --server URL|DIR: what is the help up to the default.
[[nodiscard]] TOptionSpec ServerOption(const std::string& what);
// --broadcast auto|ADDR: where names what sends the probes ("where the search probes go").
[[nodiscard]] TOptionSpec BroadcastOption(const std::string& where);
// --interface NAME: what is the help up to the default.
[[nodiscard]] TOptionSpec InterfaceOption(const std::string& what);

} // namespace torvane::cli

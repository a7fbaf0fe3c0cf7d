#pragma once
// The documentation of torvane-cli, made from the command list and the option tables:
// --help of the tool and of each command, the man page torvane-cli(1) and the bash
// completion script. The build makes the last two with torvane-cli-docs, so an option
// added to a table reaches them without anyone editing them.

#include "cli/Commands.h"

#include <string>

namespace torvane::cli {

// "torvane-cli 1.1.0"
[[nodiscard]] std::string VersionText();
// The help of the whole tool.
[[nodiscard]] std::string ToolHelp();
// The help of one command.
[[nodiscard]] std::string CommandHelp(const TCommandSpec& command);
// "torvane-cli upgrade --series E|F|H|T --ip ADDR [options]"
[[nodiscard]] std::string Synopsis(const TCommandSpec& command);

// The man page, in roff with the man macros.
[[nodiscard]] std::string ManPage();
// The bash completion script; it defines _torvane_cli and registers it for torvane-cli.
[[nodiscard]] std::string BashCompletion();

// Text wrapped at width columns. The first line goes on from startColumn (what stands
// before it is the caller's); every further line begins with indent blanks. Lines of the
// text stay lines, and an empty one stays an empty line between paragraphs.
[[nodiscard]] std::string Wrap(const std::string& text, std::size_t indent,
                               std::size_t startColumn, std::size_t width = 80);

} // namespace torvane::cli

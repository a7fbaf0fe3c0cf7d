#pragma once
// The terminal: whether standard input or standard error is one, and reading a secret
// from it without echo.

#include <string>

namespace torvane::platform {

[[nodiscard]] bool StdinIsTerminal();
[[nodiscard]] bool StderrIsTerminal();

// Writes prompt to standard error, turns the terminal's echo off, reads one line from
// standard input (without its line end) and turns the echo back on, also when a signal
// ends the process meanwhile. False at the end of input or when a signal came.
[[nodiscard]] bool ReadSecretLine(const std::string& prompt, std::string& line);

} // namespace torvane::platform

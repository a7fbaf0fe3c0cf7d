#pragma once
// Where torvane-cli upgrade takes the camera's password from, first that applies:
//   --password-file FILE   the first line of FILE
//   --password -           asked on the terminal without echo (a line of standard input
//                          when that is no terminal)
//   --password TEXT        as given (readable by every user in the process list)
//   TORVANE_PASSWORD       the environment variable, when set and not empty
//   the fallback           the camera's factory password
// --password and --password-file together are a usage error.

#include "cli/Options.h"

#include <optional>
#include <string>

namespace torvane::cli {

struct TPassword {
    std::string Text;
    // Where it came from, as the trace names it: "--password-file", "--password -",
    // "--password", "TORVANE_PASSWORD"; empty for the fallback.
    std::string Source;
};

// The password, or the usage error that prevents it. user and address only go into the
// terminal prompt.
[[nodiscard]] std::optional<TMessage> ObtainPassword(const TParsedArgs& args,
                                                     const std::string& fallback,
                                                     const std::string& user,
                                                     const std::string& address,
                                                     TPassword& out);

// The first line of a password file, without its line end. False with error set (the
// system's text) when the file cannot be read.
[[nodiscard]] bool ReadPasswordFile(const std::string& path, std::string& password,
                                    std::string& error);

} // namespace torvane::cli

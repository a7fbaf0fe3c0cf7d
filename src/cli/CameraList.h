#pragma once
// The camera list of torvane-cli batch: a CSV file whose first line (after blank lines and
// "#" comments) names its columns, out of series, ip, port, user and password; series, ip
// and port are required. Fields are separated by commas; a field in double quotes may hold
// commas, and "" in it stands for one quote. Blank lines and lines beginning with "#" are
// skipped. An empty user or password field, or a column left out, takes the default
// (--user, --password).
//
// The whole list is read before anything starts: the first bad line gives a usage error
// that names the file and the line.

#include "cli/Messages.h"
#include "upgrade/SiteUpgrade.h"

#include <string>
#include <variant>
#include <vector>

namespace torvane::cli {

struct TCameraListDefaults {
    std::string User;
    std::string Password;
};

// The cameras of the list, in the file's order, or the error to give. fileName names the
// file in messages; text is its content.
[[nodiscard]] std::variant<std::vector<TSiteCamera>, TMessage>
ParseCameraList(const std::string& text, const std::string& fileName,
                const TCameraListDefaults& defaults);

// Reads and parses the file.
[[nodiscard]] std::variant<std::vector<TSiteCamera>, TMessage>
ReadCameraList(const std::string& path, const TCameraListDefaults& defaults);

} // namespace torvane::cli

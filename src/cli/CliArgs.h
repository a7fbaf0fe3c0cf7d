#pragma once
// Command-line parsing for torvane-cli: positional words, "--name value" options and
// "--flag" switches.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace torvane::cli {

struct TCliArgs {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Options;
    std::set<std::string> Flags;

    [[nodiscard]] bool Has(const std::string& name) const {
        return Options.count(name) != 0 || Flags.count(name) != 0;
    }
    [[nodiscard]] std::string Get(const std::string& name, const std::string& fallback) const {
        const auto it = Options.find(name);
        return it == Options.end() ? fallback : it->second;
    }
};

// Parses argv[start..]. valueOptions take a value ("--lang cn" or "--lang=cn"); flags take
// none. False with error set for an unknown option or a missing value.
[[nodiscard]] bool ParseArgs(int argc, char** argv, int start,
                             const std::set<std::string>& valueOptions,
                             const std::set<std::string>& flags, TCliArgs& out,
                             std::string& error);

} // namespace torvane::cli

#include "cli/CliArgs.h"

namespace torvane::cli {

bool ParseArgs(int argc, char** argv, int start, const std::set<std::string>& valueOptions,
               const std::set<std::string>& flags, TCliArgs& out, std::string& error) {
    for (int i = start; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            std::string name = arg.substr(2);
            std::string value;
            bool hasValue = false;
            if (const auto eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
                hasValue = true;
            }
            if (flags.count(name) != 0 && !hasValue) {
                out.Flags.insert(name);
                continue;
            }
            if (valueOptions.count(name) == 0) {
                error = "unknown option --" + name;
                return false;
            }
            if (!hasValue) {
                if (i + 1 >= argc) {
                    error = "option --" + name + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            out.Options[name] = value;
        } else {
            out.Positional.push_back(arg);
        }
    }
    return true;
}

} // namespace torvane::cli

// torvane-cli text KEY [--lang CODE] and torvane-cli languages [--lang CODE]: the message
// lookup and the language list exactly as the window would use them.

#include "cli/CliArgs.h"
#include "cli/Commands.h"
#include "cli/QuitSignals.h"
#include "i18n/StrRes.h"

#include <iostream>

namespace torvane::cli {

int RunText(int argc, char** argv) {
    TCliArgs args;
    std::string error;
    if (!ParseArgs(argc, argv, 2, {"lang"}, {}, args, error) || args.Positional.size() != 1) {
        std::cerr << "torvane-cli text: " << (error.empty() ? "give exactly one KEY" : error)
                  << "\nusage: torvane-cli text KEY [--lang CODE]\n";
        return ExitUsage;
    }
    const TCliPacks packFiles;
    SetLanguage(args.Get("lang", "en"));
    std::cout << GetStrRes(args.Positional[0]) << "\n" << std::flush;
    return ExitOk;
}

int RunLanguages(int argc, char** argv) {
    TCliArgs args;
    std::string error;
    if (!ParseArgs(argc, argv, 2, {"lang"}, {}, args, error) || !args.Positional.empty()) {
        std::cerr << "torvane-cli languages: " << (error.empty() ? "unexpected argument" : error)
                  << "\nusage: torvane-cli languages [--lang CODE]\n";
        return ExitUsage;
    }
    const TCliPacks packFiles;
    SetLanguage(args.Get("lang", "en"));
    std::vector<std::string> packs;
    ListLanguagePacks(packs);
    for (const std::string& path : packs) {
        std::cout << LanguageCodeOfPack(path) << "\t" << GetLanguageDisplayName(path) << "\n";
    }
    std::cout << std::flush;
    return ExitOk;
}

} // namespace torvane::cli

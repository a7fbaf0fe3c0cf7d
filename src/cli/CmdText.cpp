// torvane-cli text KEY and torvane-cli languages: the message lookup and the language list
// exactly as the window would use them.

#include "cli/Commands.h"
#include "i18n/StrRes.h"

#include <iostream>

namespace torvane::cli {

TCommandSpec TextCommand() {
    TCommandSpec c = NewCommand("text", "print one message of a language pack", R"(
        Prints the message KEY (an IDS_ key) of the language chosen with --lang, looked up exactly
        as the window looks it up. A key that the language's pack does not hold is an error (exit
        status 1).
    )");
    c.Operands = "KEY";
    c.MinOperands = 1;
    c.MaxOperands = 1;
    c.OperandWords = BuiltInKeys("en");
    c.Examples = {"torvane-cli text IDS_DOWNLOADERR --lang cn"};
    c.Run = [](const TCommandContext& context) {
        const std::string& key = context.Args.Operands.front();
        const std::string text = GetStrRes(key);
        if (text.empty()) {
            PrintError({"IDS_CLI_NOTEXT", {key, CurrentLanguage()}});
            return ExitFailed;
        }
        std::cout << text << "\n" << std::flush;
        return ExitOk;
    };
    return c;
}

TCommandSpec LanguagesCommand() {
    TCommandSpec c = NewCommand("languages", "list the language packs: code, TAB, name", R"(
        Lists the language packs that the window offers, one a line: the language code, a TAB and
        the language's name in the language chosen with --lang.
    )");
    c.Examples = {"torvane-cli languages --lang b5"};
    c.Run = [](const TCommandContext&) {
        std::vector<std::string> packs;
        ListLanguagePacks(packs);
        for (const std::string& path : packs) {
            std::cout << LanguageCodeOfPack(path) << "\t" << GetLanguageDisplayName(path) << "\n";
        }
        std::cout << std::flush;
        return ExitOk;
    };
    return c;
}

} // namespace torvane::cli

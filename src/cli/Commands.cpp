#include "cli/Commands.h"

#include "cli/Help.h"
#include "i18n/StrRes.h"

#include <algorithm>

namespace torvane::cli {

const std::vector<TOptionSpec>& CommonOptions() {
    static const std::vector<TOptionSpec> options = {
        {.Long = "lang",
         .Value = "CODE",
         .Help = "language of the log, the texts and the messages: en, cn or b5 (default en)",
         .Words = {"en", "cn", "b5"},
         .Complete = TComplete::Words},
        {.Long = "quiet", .Short = 'q', .Help = "print only the result and errors"},
        {.Long = "verbose",
         .Short = 'v',
         .Help = "also print the diagnostic trace on standard error, with the diagnostic log "
                 "of every category (see TORVANE_DEBUG)"},
        {.Long = "help", .Short = 'h', .Help = "print this help and exit"},
    };
    return options;
}

TCommandSpec NewCommand(std::string name, std::string summary, std::string description) {
    TCommandSpec c;
    c.Name = std::move(name);
    c.Summary = std::move(summary);
    c.Description = std::move(description);
    return c;
}

bool TCommandSpec::UsesSettings() const {
    return std::any_of(Options.begin(), Options.end(),
                       [](const TOptionSpec& option) { return option.FromSettings; });
}

std::vector<TOptionSpec> AllOptions(const TCommandSpec& command) {
    std::vector<TOptionSpec> all = command.Options;
    all.insert(all.end(), CommonOptions().begin(), CommonOptions().end());
    return all;
}

// The command declarations, one file each (help's in Help.cpp). Only Commands() makes them,
// so that everything reads the one list it holds.
TCommandSpec UpgradeCommand();
TCommandSpec BatchCommand();
TCommandSpec DiscoverCommand();
TCommandSpec MirrorCommand();
TCommandSpec TextCommand();
TCommandSpec LanguagesCommand();
TCommandSpec HelpCommand();

const std::vector<TCommandSpec>& Commands() {
    static const std::vector<TCommandSpec> commands = [] {
        std::vector<TCommandSpec> list = {
            UpgradeCommand(),
            BatchCommand(),
            DiscoverCommand(),
            MirrorCommand(),
            TextCommand(),
            LanguagesCommand(),
            HelpCommand(),
        };
        // "help" completes the names of the commands.
        for (const TCommandSpec& c : list) {
            list.back().OperandWords.push_back(c.Name);
        }
        return list;
    }();
    return commands;
}

const TCommandSpec* FindCommand(const std::string& name) {
    for (const TCommandSpec& c : Commands()) {
        if (c.Name == name) {
            return &c;
        }
    }
    return nullptr;
}

const TToolTexts& ToolTexts() {
    static const TToolTexts texts{
        .Description = R"(
            torvane-cli drives the Torvane upgrade engine without a window. It upgrades the firmware
            of an IP camera, searches the LAN for cameras, and prints the texts of its language
            packs.

            Results go to standard output. Errors and warnings go to standard error, each line
            beginning with the program's name, in the language chosen with --lang.
        )",
        .Environment = {
            {"TORVANE_PASSWORD",
             "the camera's password for upgrade when neither --password nor --password-file is "
             "given. Safer than --password, which every user of the machine can read in the "
             "process list."},
            {"XDG_CONFIG_HOME",
             "the per-user settings folder ($HOME/.config when unset); option.ini is read from "
             "its subfolder torvane, which the window reads too."},
            {"TMPDIR",
             "where the private temporary folder torvane-UID is made (/tmp when unset): language "
             "packs, the firmware catalogue and downloaded packages."},
            {"TORVANE_DEBUG",
             "switches the diagnostic log on: one line on standard error (in English) for each "
             "datagram the program drops and each error it passes over without a word. 1 or all "
             "for every category, or some of net, discovery, upgrade, ctp, i18n and host, "
             "separated by commas. The window reads it too. No line carries a password."},
            {"TORVANE_CLI_TIME_SCALE",
             "for tests only: a number F with 0 < F <= 1 that multiplies every fixed wait and "
             "network deadline of upgrade (deadlines keep a floor)."},
        },
        .Files = {
            {"~/.config/torvane/option.ini",
             "settings, shared with the window, section [Global]: server=where the firmware comes "
             "from (the firmware server's URL, or a file:// URL or a folder with the same "
             "layout), broadcast=auto to send the LAN search out of every network interface, or "
             "one destination address, interface=NAME to search on one network interface only; "
             "lan=the window's language. A file option.ini beside the program is read first; the "
             "user's file wins over it, and --server, --broadcast and --interface win over both."},
            {"~/.config/torvane-cli/option.ini",
             "the settings file of earlier versions of torvane-cli: still read for the settings "
             "that ~/.config/torvane/option.ini does not hold (it wins over the file beside the "
             "program), never written. While it exists, upgrade, discover and mirror say so on "
             "standard error; move its settings to ~/.config/torvane/option.ini and delete it."},
        },
    };
    return texts;
}

std::optional<TMessage> ApplyLanguageOption(const TParsedArgs& args) {
    const std::string code = args.Get("lang", "en");
    SetLanguage(code);
    if (CurrentLanguage() != code && !LanguageDir().empty()) {
        return TMessage{"IDS_CLI_NOPACK", {code, CurrentLanguage()}};
    }
    return std::nullopt;
}

} // namespace torvane::cli

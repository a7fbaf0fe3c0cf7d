#include "cli/Tool.h"

#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/QuitSignals.h"
#include "i18n/Deployment.h"
#include "platform/Context.h"
#include "series/SeriesUnits.h"

#include <iostream>

namespace torvane::cli {

namespace {

// The options that may stand before the command: the common ones and --version.
const std::vector<TOptionSpec>& LeadingOptions() {
    static const std::vector<TOptionSpec> options = [] {
        std::vector<TOptionSpec> all = CommonOptions();
        all.push_back({.Long = "version", .Help = "print the version and exit"});
        return all;
    }();
    return options;
}

// Where the command word stands: the first word that is neither an option nor the value
// of one; args.size() when there is none.
std::size_t CommandIndex(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a[0] != '-' || a == "--") {
            return a == "--" ? i + 1 : i;
        }
        for (const TOptionSpec& o : LeadingOptions()) {
            if (o.TakesValue() && a == "--" + o.Long) {
                ++i; // its value
            }
        }
    }
    return args.size();
}

void Merge(const TParsedArgs& from, TParsedArgs& into) {
    for (const auto& [name, value] : from.Values) {
        into.Values.emplace(name, value); // a value after the command wins
    }
    into.Switches.insert(from.Switches.begin(), from.Switches.end());
    into.Help = into.Help || from.Help;
    if (!into.Error && from.Error) {
        into.Error = from.Error;
    }
}

// torvane-cli's former settings file is still read where the shared one lacks a setting;
// say so once a run, and name each of its settings that the shared file overrides, so that
// nobody wonders where a setting went.
void WarnAboutFormerSettings() {
    const std::optional<TFormerSettingsFile> former = FormerSettingsFile();
    if (!former) {
        return;
    }
    PrintWarning({"IDS_CLI_FORMERSETTINGS", {former->Path, former->SharedPath}});
    for (const TOverriddenSetting& s : former->Overridden) {
        PrintWarning({"IDS_CLI_FORMERSETTINGUNUSED",
                      {s.Key, s.FormerValue, former->Path, former->SharedPath, s.Value}});
    }
}

} // namespace

int RunTool(int argc, char** argv) {
    // Everything this run works with that is not handed along (platform/Context.h).
    platform::TContext context;
    const platform::TContextScope contextScope(context);
    platform::ConfigureDiagFromEnvironment(context.Diag());

    const std::vector<std::string> all(argv + 1, argv + argc);
    const std::size_t at = CommandIndex(all);
    const std::vector<std::string> leading(all.begin(),
                                           all.begin() + static_cast<std::ptrdiff_t>(
                                                             std::min(at, all.size())));
    const TParsedArgs before = ParseOptions(LeadingOptions(), leading);

    if (at >= all.size() || all[at] == "--") {
        if (before.Switches.count("version") != 0 && !before.Error) {
            std::cout << VersionText() << "\n" << std::flush;
            return ExitOk;
        }
        if (before.Help && !before.Error) {
            std::cout << ToolHelp() << std::flush;
            return ExitOk;
        }
        if (before.Error) {
            const TCliPacks packs;
            (void)ApplyLanguageOption(before);
            PrintUsageError(*before.Error, {});
            return ExitUsage;
        }
        std::cerr << ToolHelp() << std::flush;
        return ExitUsage;
    }

    const TCommandSpec* command = FindCommand(all[at]);
    if (command == nullptr) {
        const TCliPacks packs;
        (void)ApplyLanguageOption(before);
        PrintUsageError({"IDS_CLI_UNKNOWNCOMMAND", {all[at]}}, {});
        return ExitUsage;
    }

    const std::vector<TOptionSpec> options = AllOptions(*command);
    TParsedArgs args = ParseOptions(
        options, std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                                          all.end()));
    Merge(before, args);
    if (before.Switches.count("version") != 0 && !args.Error) {
        args.Error = TMessage{"IDS_CLI_UNKNOWNOPTION", {"--version"}};
    }
    // Help comes before every check: it prints and ends, whatever else was given.
    if (args.Help) {
        std::cout << CommandHelp(*command) << std::flush;
        return ExitOk;
    }

    TCliPacks packs;
    const std::optional<TMessage> noPack = ApplyLanguageOption(args);
    if (args.Has("quiet") && args.Has("verbose")) {
        args.Error = args.Error.value_or(TMessage{"IDS_CLI_CONFLICT", {"--quiet", "--verbose"}});
    }
    if (!args.Error && args.Operands.size() < command->MinOperands) {
        args.Error = TMessage{"IDS_CLI_MISSINGOPERAND", {command->Operands}};
    }
    if (!args.Error && args.Operands.size() > command->MaxOperands) {
        args.Error = TMessage{"IDS_CLI_EXTRAOPERAND", {args.Operands[command->MaxOperands]}};
    }
    if (!args.Error) {
        args.Error = CheckOptions(options, args);
    }
    if (args.Error) {
        PrintUsageError(*args.Error, command->Name);
        return ExitUsage;
    }
    if (noPack) {
        PrintWarning(*noPack);
    }
    SetVerbosity(args.Has("quiet")     ? TVerbosity::Quiet
                 : args.Has("verbose") ? TVerbosity::Verbose
                                       : TVerbosity::Normal);
    if (args.Has("verbose")) {
        context.Diag().Enable(platform::DiagAll); // the diagnostic log belongs to the trace
    }

    LoadDeploymentSettings();
    if (command->UsesSettings()) {
        WarnAboutFormerSettings();
    }
    RegisterSeriesAdapters();
    try {
        return command->Run({args, packs.Holder()});
    } catch (const std::exception& e) {
        std::cout << std::flush;
        std::cerr << ProgramName << ": " << e.what() << std::endl;
        return ExitFailed;
    }
}

} // namespace torvane::cli

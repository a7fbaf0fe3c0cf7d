#pragma once
// The option tables of torvane-cli. Each command declares its options as a table of
// TOptionSpec rows (name, value, help text, check); the parser, the checks, --help, the
// man page and the bash completion are all made from these rows, so an option added to a
// table is parsed, checked and documented everywhere at once.
//
// Syntax: "--name value", "--name=value", "-x" (switches only, several may be joined:
// "-qv"), "--" ends the options. An option given twice keeps its last value, unless it is
// repeatable.

#include "cli/Messages.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace torvane::cli {

// What the shell offers when it completes the option's value.
enum class TComplete {
    Nothing, // a free value: no offer
    Words,   // TOptionSpec::Words
    Files,   // file names
    Folders, // folder names
};

// Checks one value given for an option. option is the name as written ("--port"); value
// may be rewritten into its normal form (a host name into its address). Gives the error
// when the value is not acceptable.
using TValueCheck =
    std::function<std::optional<TMessage>(const std::string& option, std::string& value)>;

// One row of an option table, written with designated initializers; what a row leaves
// out has its default:
//     {.Long = "port", .Value = "N", .Help = "...", .Check = CheckWholeNumber(1, 65535)}
struct TOptionSpec {
    std::string Long{};  // without the leading "--"
    char Short = 0;      // the one-letter form, or 0
    std::string Value{}; // the value's placeholder in the help ("ADDR"); empty for a switch
    std::string Help{};  // English, for --help and the man page
    bool Required = false;
    std::vector<std::string> Words{}; // values the completion offers
    TComplete Complete = TComplete::Nothing;
    TValueCheck Check{}; // none: any value is accepted
    // May be given more than once; every value is kept (TParsedArgs::GetAll) and checked.
    bool Repeatable = false;
    // Its default is a setting of option.ini: a command with such an option reads them.
    bool FromSettings = false;

    [[nodiscard]] bool TakesValue() const { return !Value.empty(); }
};

// The result of parsing one command's arguments.
struct TParsedArgs {
    std::map<std::string, std::string> Values; // by long name, the last value given
    // Repeatable options: by long name, every value in the order given.
    std::map<std::string, std::vector<std::string>> Lists;
    std::set<std::string> Switches;            // long names of the switches given
    std::vector<std::string> Operands;         // the words that are not options, in order
    bool Help = false;                         // -h or --help came as an option
    std::optional<TMessage> Error;             // the first error of the syntax

    [[nodiscard]] bool Has(const std::string& name) const {
        return Values.count(name) != 0 || Switches.count(name) != 0;
    }
    [[nodiscard]] std::string Get(const std::string& name, const std::string& fallback) const {
        const auto it = Values.find(name);
        return it == Values.end() ? fallback : it->second;
    }
    // Every value of a repeatable option, in the order given.
    [[nodiscard]] std::vector<std::string> GetAll(const std::string& name) const {
        const auto it = Lists.find(name);
        return it == Lists.end() ? std::vector<std::string>{} : it->second;
    }
};

// Parses args against the table. Unknown options, a missing value and a value given to a
// switch are errors; the first is kept and parsing goes on, so that a --help further on
// is still seen.
[[nodiscard]] TParsedArgs ParseOptions(const std::vector<TOptionSpec>& options,
                                       const std::vector<std::string>& args);

// Runs the checks of the options given, in the table's order, then looks for missing
// required options. The first error, or none. Values may be rewritten by their checks.
[[nodiscard]] std::optional<TMessage> CheckOptions(const std::vector<TOptionSpec>& options,
                                                   TParsedArgs& args);

// "--name VALUE" or "-x, --name" as the help and the errors write an option.
[[nodiscard]] std::string OptionLabel(const TOptionSpec& option);

} // namespace torvane::cli

#pragma once
// The commands of torvane-cli. Each command file declares its command as a TCommandSpec:
// its name, operands, texts and option table, and the function that runs it. Commands()
// lists them; main, --help, the man page and the bash completion all read that list.
//
// To add an option: add a row to the command's table and read it in the command with
// args.Get / args.Has, for example
//     {.Long = "seconds", .Value = "N", .Help = "how long to search",
//      .Check = CheckWholeNumber(1, 3600)},
// To add a command: a new file with a function returning its TCommandSpec, declared and
// listed in Commands.cpp. Exit statuses: ExitStatus.h.

#include "cli/ExitStatus.h"
#include "cli/Options.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace torvane {
class TfrmStrRes;
}

namespace torvane::cli {

// What a command runs with: its checked arguments and the language packs, written for the
// run (the message lookup reads them).
struct TCommandContext {
    const TParsedArgs& Args;
    const TfrmStrRes& Packs;
};

struct TCommandSpec {
    std::string Name;
    std::string Operands;       // the operands in the synopsis ("KEY"); empty for none
    std::size_t MinOperands = 0;
    std::size_t MaxOperands = 0;
    std::string Summary;        // one line, English
    // English prose, written as it reads: an empty line between paragraphs. The lines of a
    // paragraph are joined with one blank and their indentation dropped, so a declaration
    // breaks and indents its text as the code around it wants; help and the man page lay
    // the paragraphs out anew.
    std::string Description;
    std::vector<TOptionSpec> Options; // the command's own; CommonOptions() follow them
    std::vector<std::string> OperandWords; // what the completion offers for an operand
    std::vector<std::string> Examples;     // whole command lines
    // Runs the command with its checked arguments; returns the exit status.
    std::function<int(const TCommandContext& context)> Run;

    // Reads the deployment settings of option.ini: one of its options defaults from them
    // (the note about torvane-cli's former settings file is printed for such commands).
    [[nodiscard]] bool UsesSettings() const;
};

// A command with the three texts every command has: its name, its summary and its
// description; a declaration adds its operands, options, examples and Run.
[[nodiscard]] TCommandSpec NewCommand(std::string name, std::string summary,
                                      std::string description);

// The options every command takes: --lang, -q, -v, -h.
[[nodiscard]] const std::vector<TOptionSpec>& CommonOptions();
// The command's options followed by the common ones.
[[nodiscard]] std::vector<TOptionSpec> AllOptions(const TCommandSpec& command);

// Every command, in the order the help lists them.
[[nodiscard]] const std::vector<TCommandSpec>& Commands();
// The command of that name, or nullptr.
[[nodiscard]] const TCommandSpec* FindCommand(const std::string& name);

// The tool as a whole, for the top-level help and the man page.
struct TToolEntry {
    std::string Name; // a variable or file
    std::string Help;
};
struct TToolTexts {
    std::string Description;             // as TCommandSpec::Description
    std::vector<TToolEntry> Environment; // the variables it reads
    std::vector<TToolEntry> Files;       // the files it reads
};
[[nodiscard]] const TToolTexts& ToolTexts();

// Makes the language of --lang (default "en") current. A code without a pack leaves
// English current and gives the warning to print.
[[nodiscard]] std::optional<TMessage> ApplyLanguageOption(const TParsedArgs& args);

} // namespace torvane::cli

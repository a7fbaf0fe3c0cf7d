#include "cli/Help.h"

#include "TorvaneVersion.h"
#include "platform/Text.h"

#include <iostream>
#include <sstream>

namespace torvane::cli {

namespace {

constexpr std::size_t LabelColumn = 2;
constexpr std::size_t HelpColumn = 26;

// One option or entry: the label at LabelColumn, its help at helpColumn (on the next line
// when the label is too long).
std::string Entry(const std::string& label, const std::string& help,
                  std::size_t helpColumn = HelpColumn) {
    std::string out(LabelColumn, ' ');
    out += label;
    if (out.size() + 2 <= helpColumn) {
        out += std::string(helpColumn - out.size(), ' ');
        return out + Wrap(help, helpColumn, helpColumn);
    }
    return out + "\n" + std::string(helpColumn, ' ') + Wrap(help, helpColumn, helpColumn);
}

std::string HelpOfOption(const TOptionSpec& option) {
    std::string help = option.Help;
    if (option.Repeatable) {
        help += " (may be given more than once)";
    }
    return option.Required ? help + " (required)" : help;
}

std::string ExitStatusHelp() {
    std::string out = "exit status:\n";
    for (const TExitStatus& s : ExitStatuses()) {
        out += Entry(std::to_string(s.Code), s.Meaning, LabelColumn + 3);
    }
    return out;
}

// The paragraphs of a description, each on one line: the rule of TCommandSpec::Description.
std::vector<std::string> Paragraphs(const std::string& description) {
    std::vector<std::string> paragraphs;
    bool inParagraph = false;
    std::istringstream in(description);
    for (std::string line; std::getline(in, line);) {
        line = platform::Trim(line);
        if (line.empty()) {
            inParagraph = false;
        } else if (inParagraph) {
            paragraphs.back() += " " + line;
        } else {
            paragraphs.push_back(line);
            inParagraph = true;
        }
    }
    return paragraphs;
}

// A description as help text: each paragraph wrapped, an empty line between them.
std::string WrappedParagraphs(const std::string& description) {
    std::string out;
    for (const std::string& paragraph : Paragraphs(description)) {
        out += (out.empty() ? "" : "\n") + Wrap(paragraph, 0, 0);
    }
    return out;
}

// --- roff ---------------------------------------------------------------------------------

// Text for roff: backslashes and minus signs escaped, a line never starting with a
// control character.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\'')) {
            out += "\\&";
        }
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
        lineStart = c == '\n';
    }
    return out;
}

// A description as roff paragraphs.
std::string RoffParagraphs(const std::string& description) {
    std::string out;
    for (const std::string& paragraph : Paragraphs(description)) {
        out += (out.empty() ? "" : ".PP\n") + Roff(paragraph) + "\n";
    }
    return out;
}

std::string RoffOption(const TOptionSpec& option) {
    std::string tag;
    if (option.Short != 0) {
        tag = "\\fB\\-" + std::string(1, option.Short) + "\\fR, ";
    }
    tag += "\\fB" + Roff("--" + option.Long) + "\\fR";
    if (option.TakesValue()) {
        tag += " \\fI" + Roff(option.Value) + "\\fR";
    }
    return ".TP\n" + tag + "\n" + Roff(HelpOfOption(option)) + "\n";
}

// --- bash ---------------------------------------------------------------------------------

std::string Quoted(const std::vector<std::string>& words) {
    std::string out = "'";
    for (std::size_t i = 0; i < words.size(); ++i) {
        for (const char c : words[i]) {
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        out += i + 1 < words.size() ? " " : "";
    }
    return out + "'";
}

std::vector<std::string> OptionWords(const std::vector<TOptionSpec>& options) {
    std::vector<std::string> words;
    for (const TOptionSpec& o : options) {
        words.push_back("--" + o.Long);
    }
    for (const TOptionSpec& o : options) {
        if (o.Short != 0) {
            words.push_back(std::string("-") + o.Short);
        }
    }
    return words;
}

// The case branches that complete the values of options, by the previous word.
std::string ValueCases(const std::vector<TOptionSpec>& options, const std::string& pad) {
    std::string out;
    std::string free;
    for (const TOptionSpec& o : options) {
        if (!o.TakesValue()) {
            continue;
        }
        std::string names = "--" + o.Long;
        if (o.Short != 0) {
            names += std::string("|-") + o.Short;
        }
        switch (o.Complete) {
        case TComplete::Words:
            out += pad + names + ")\n" + pad + "    COMPREPLY=($(compgen -W " + Quoted(o.Words) +
                   " -- \"$cur\"))\n" + pad + "    return ;;\n";
            break;
        case TComplete::Files:
            out += pad + names + ")\n" + pad + "    compopt -o filenames 2>/dev/null\n" + pad +
                   "    COMPREPLY=($(compgen -f -- \"$cur\"))\n" + pad + "    return ;;\n";
            break;
        case TComplete::Folders:
            out += pad + names + ")\n" + pad + "    compopt -o filenames 2>/dev/null\n" + pad +
                   "    COMPREPLY=($(compgen -d -- \"$cur\"))\n" + pad + "    return ;;\n";
            break;
        case TComplete::Nothing:
            free += (free.empty() ? "" : "|") + names;
            break;
        }
    }
    if (!free.empty()) {
        out += pad + free + ")\n" + pad + "    return ;;\n";
    }
    return out;
}

} // namespace

std::string VersionText() {
    return std::string(ProgramName) + " " + TorvaneVersion;
}

std::string Wrap(const std::string& text, std::size_t indent, std::size_t startColumn,
                 std::size_t width) {
    std::string out;
    std::istringstream paragraphs(text);
    std::string paragraph;
    bool firstLine = true;
    while (std::getline(paragraphs, paragraph)) {
        if (paragraph.empty()) {
            out += "\n";
            continue;
        }
        std::size_t column = startColumn;
        if (!firstLine) {
            out += std::string(indent, ' ');
            column = indent;
        }
        bool lineEmpty = true;
        std::istringstream words(paragraph);
        std::string word;
        while (words >> word) {
            if (!lineEmpty && column + 1 + word.size() > width) {
                out += "\n" + std::string(indent, ' ');
                column = indent;
                lineEmpty = true;
            }
            if (!lineEmpty) {
                out += ' ';
                ++column;
            }
            out += word;
            column += word.size();
            lineEmpty = false;
        }
        out += "\n";
        firstLine = false;
    }
    return out;
}

std::string Synopsis(const TCommandSpec& command) {
    std::string out = std::string(ProgramName) + " " + command.Name;
    for (const TOptionSpec& o : command.Options) {
        if (o.Required) {
            out += " --" + o.Long + " " + o.Value;
        }
    }
    out += " [options]";
    if (!command.Operands.empty()) {
        out += " " + command.Operands;
    }
    return out;
}

std::string ToolHelp() {
    std::string out = "usage: " + std::string(ProgramName) + " [options] COMMAND [options]\n" +
                      "       " + ProgramName + " COMMAND --help\n" + "       " + ProgramName +
                      " --version\n\n";
    out += WrappedParagraphs(ToolTexts().Description) + "\ncommands:\n";
    for (const TCommandSpec& c : Commands()) {
        out += Entry(c.Name, c.Summary);
    }
    out += "\noptions of every command (also before it):\n";
    for (const TOptionSpec& o : CommonOptions()) {
        out += Entry(OptionLabel(o), HelpOfOption(o));
    }
    out += Entry("--version", "print the version and exit (before a command only)");
    out += "\nenvironment:\n";
    for (const TToolEntry& e : ToolTexts().Environment) {
        out += Entry(e.Name, e.Help);
    }
    out += "\nfiles:\n";
    for (const TToolEntry& e : ToolTexts().Files) {
        out += Entry(e.Name, e.Help);
    }
    out += "\n" + ExitStatusHelp();
    out += "\n" + Wrap("See '" + std::string(ProgramName) + " COMMAND --help' for the options "
                       "of a command, and man " + ProgramName + " for all of it.",
                       0, 0);
    return out;
}

std::string CommandHelp(const TCommandSpec& command) {
    std::string out =
        "usage: " + Synopsis(command) + "\n\n" + WrappedParagraphs(command.Description);
    if (!command.Options.empty()) {
        out += "\noptions:\n";
        for (const TOptionSpec& o : command.Options) {
            out += Entry(OptionLabel(o), HelpOfOption(o));
        }
    }
    out += "\noptions of every command:\n";
    for (const TOptionSpec& o : CommonOptions()) {
        out += Entry(OptionLabel(o), HelpOfOption(o));
    }
    if (!command.Examples.empty()) {
        out += "\nexamples:\n";
        for (const std::string& e : command.Examples) {
            out += "  " + e + "\n";
        }
    }
    out += "\n" + ExitStatusHelp();
    return out;
}

std::string ManPage() {
    const std::string name = ProgramName;
    std::string out;
    out += ".\\\" The man page of " + name + ", made by the build from its option tables.\n";
    out += ".TH TORVANE\\-CLI 1 \"" + std::string(TorvaneReleaseDate) + "\" \"Torvane " +
           TorvaneVersion + "\" \"User Commands\"\n";
    out += ".nh\n"; // option names must not be hyphenated
    out += ".SH NAME\n" + Roff(name) + " \\- upgrade the firmware of IP cameras from the "
           "command line\n";
    out += ".SH SYNOPSIS\n";
    for (const TCommandSpec& c : Commands()) {
        out += ".nf\n\\fB" + Roff(Synopsis(c)) + "\\fR\n.fi\n";
    }
    out += ".nf\n\\fB" + Roff(name + " --version") + "\\fR\n.fi\n";
    out += ".SH DESCRIPTION\n" + RoffParagraphs(ToolTexts().Description);
    out += ".SH COMMANDS\n";
    for (const TCommandSpec& c : Commands()) {
        out += ".SS " + Roff(c.Name) + "\n";
        out += ".nf\n\\fB" + Roff(Synopsis(c)) + "\\fR\n.fi\n.PP\n";
        out += RoffParagraphs(c.Description);
        for (const TOptionSpec& o : c.Options) {
            out += RoffOption(o);
        }
        if (!c.Examples.empty()) {
            out += ".PP\nExamples:\n.RS\n.nf\n";
            for (const std::string& e : c.Examples) {
                out += Roff(e) + "\n";
            }
            out += ".fi\n.RE\n";
        }
    }
    out += ".SH OPTIONS OF EVERY COMMAND\nThese may also stand before the command.\n";
    for (const TOptionSpec& o : CommonOptions()) {
        out += RoffOption(o);
    }
    out += ".TP\n\\fB\\-\\-version\\fR\nprint the version and exit (before a command only)\n";
    out += ".SH ENVIRONMENT\n";
    for (const TToolEntry& e : ToolTexts().Environment) {
        out += ".TP\n\\fB" + Roff(e.Name) + "\\fR\n" + Roff(e.Help) + "\n";
    }
    out += ".SH FILES\n";
    for (const TToolEntry& e : ToolTexts().Files) {
        out += ".TP\n\\fI" + Roff(e.Name) + "\\fR\n" + Roff(e.Help) + "\n";
    }
    out += ".SH EXIT STATUS\n";
    for (const TExitStatus& s : ExitStatuses()) {
        out += ".TP\n\\fB" + std::to_string(s.Code) + "\\fR\n" + Roff(s.Meaning) + "\n";
    }
    out += ".SH SEE ALSO\n.BR torvane (1)\n";
    return out;
}

std::string BashCompletion() {
    std::string out;
    out += "# bash completion for torvane-cli                         -*- shell-script -*-\n"
           "# Made by the build from torvane-cli's option tables.\n\n";
    out += "_torvane_cli()\n{\n";
    out += "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n";
    out += "    local command= i\n";
    out += "    COMPREPLY=()\n";
    // The command is the first word that is neither an option nor an option's value.
    std::string commonValued;
    for (const TOptionSpec& o : CommonOptions()) {
        if (o.TakesValue()) {
            commonValued += (commonValued.empty() ? "" : "|") + ("--" + o.Long);
        }
    }
    out += "    for ((i = 1; i < COMP_CWORD; i++)); do\n";
    out += "        case ${COMP_WORDS[i]} in\n";
    if (!commonValued.empty()) {
        out += "            " + commonValued + ") ((i++)) ;;\n";
    }
    out += "            -*) ;;\n";
    out += "            *) command=${COMP_WORDS[i]}; break ;;\n";
    out += "        esac\n";
    out += "    done\n";
    out += "    case $command in\n";
    std::vector<std::string> top;
    for (const TCommandSpec& c : Commands()) {
        top.push_back(c.Name);
    }
    for (const std::string& w : OptionWords(CommonOptions())) {
        top.push_back(w);
    }
    top.push_back("--version");
    out += "    '')\n";
    out += "        case $prev in\n" + ValueCases(CommonOptions(), "        ") + "        esac\n";
    out += "        COMPREPLY=($(compgen -W " + Quoted(top) + " -- \"$cur\"))\n";
    out += "        ;;\n";
    for (const TCommandSpec& c : Commands()) {
        const std::vector<TOptionSpec> options = AllOptions(c);
        out += "    " + c.Name + ")\n";
        out += "        case $prev in\n" + ValueCases(options, "        ") + "        esac\n";
        const std::string optionWords = Quoted(OptionWords(options));
        if (c.MaxOperands == 0) {
            out += "        COMPREPLY=($(compgen -W " + optionWords + " -- \"$cur\"))\n";
        } else {
            out += "        if [[ $cur == -* ]]; then\n";
            out += "            COMPREPLY=($(compgen -W " + optionWords + " -- \"$cur\"))\n";
            if (!c.OperandWords.empty()) {
                out += "        else\n";
                out += "            COMPREPLY=($(compgen -W " + Quoted(c.OperandWords) +
                       " -- \"$cur\"))\n";
            }
            out += "        fi\n";
        }
        out += "        ;;\n";
    }
    out += "    esac\n";
    out += "}\n";
    out += "complete -F _torvane_cli torvane-cli\n";
    return out;
}

TCommandSpec HelpCommand() {
    TCommandSpec c = NewCommand("help", "print the help of the tool or of one command", R"(
        Prints the help of COMMAND, or of the whole tool without one; the same as 'torvane-cli
        COMMAND --help'.
    )");
    c.Operands = "[COMMAND]";
    c.MaxOperands = 1;
    c.Examples = {"torvane-cli help upgrade"};
    c.Run = [](const TCommandContext& context) {
        const TParsedArgs& args = context.Args;
        if (args.Operands.empty()) {
            std::cout << ToolHelp() << std::flush;
            return ExitOk;
        }
        const TCommandSpec* command = FindCommand(args.Operands[0]);
        if (command == nullptr) {
            PrintUsageError({"IDS_CLI_UNKNOWNCOMMAND", {args.Operands[0]}}, {});
            return ExitUsage;
        }
        std::cout << CommandHelp(*command) << std::flush;
        return ExitOk;
    };
    return c;
}

} // namespace torvane::cli

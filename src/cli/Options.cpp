#include "cli/Options.h"

namespace torvane::cli {

namespace {

const TOptionSpec* FindLong(const std::vector<TOptionSpec>& options, const std::string& name) {
    for (const TOptionSpec& o : options) {
        if (o.Long == name) {
            return &o;
        }
    }
    return nullptr;
}

const TOptionSpec* FindShort(const std::vector<TOptionSpec>& options, char letter) {
    for (const TOptionSpec& o : options) {
        if (o.Short != 0 && o.Short == letter) {
            return &o;
        }
    }
    return nullptr;
}

void Keep(TParsedArgs& out, TMessage error) {
    if (!out.Error) {
        out.Error = std::move(error);
    }
}

void Take(TParsedArgs& out, const TOptionSpec& option, const std::string& value) {
    if (option.Long == "help") {
        out.Help = true;
    }
    if (option.TakesValue()) {
        out.Values[option.Long] = value;
        if (option.Repeatable) {
            out.Lists[option.Long].push_back(value);
        }
    } else {
        out.Switches.insert(option.Long);
    }
}

} // namespace

TParsedArgs ParseOptions(const std::vector<TOptionSpec>& options,
                         const std::vector<std::string>& args) {
    TParsedArgs out;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out.Operands.push_back(arg); // "-" alone is an operand too
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg[1] == '-') {
            std::string name = arg.substr(2);
            std::optional<std::string> inlineValue;
            if (const auto eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
            }
            const TOptionSpec* option = FindLong(options, name);
            if (option == nullptr) {
                Keep(out, {"IDS_CLI_UNKNOWNOPTION", {"--" + name}});
                continue;
            }
            if (!option->TakesValue()) {
                if (inlineValue) {
                    Keep(out, {"IDS_CLI_TAKESNOVALUE", {"--" + name}});
                    continue;
                }
                Take(out, *option, {});
                continue;
            }
            if (!inlineValue) {
                // The next word is the value, whatever it looks like ("--password -").
                if (i + 1 >= args.size()) {
                    Keep(out, {"IDS_CLI_NEEDSVALUE", {"--" + name}});
                    continue;
                }
                inlineValue = args[++i];
            }
            Take(out, *option, *inlineValue);
            continue;
        }
        // One or more one-letter options: "-q", "-qv"; a letter that takes a value takes
        // the rest of the word ("-pVALUE") or the next word.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const TOptionSpec* option = FindShort(options, arg[k]);
            if (option == nullptr) {
                Keep(out, {"IDS_CLI_UNKNOWNOPTION", {std::string("-") + arg[k]}});
                continue;
            }
            if (!option->TakesValue()) {
                Take(out, *option, {});
                continue;
            }
            std::string value = arg.substr(k + 1);
            if (value.empty()) {
                if (i + 1 >= args.size()) {
                    Keep(out, {"IDS_CLI_NEEDSVALUE", {std::string("-") + arg[k]}});
                    break;
                }
                value = args[++i];
            }
            Take(out, *option, value);
            break;
        }
    }
    return out;
}

std::optional<TMessage> CheckOptions(const std::vector<TOptionSpec>& options,
                                     TParsedArgs& args) {
    for (const TOptionSpec& option : options) {
        if (!args.Has(option.Long)) {
            if (option.Required) {
                return TMessage{"IDS_CLI_MISSINGOPTION", {OptionLabel(option)}};
            }
            continue;
        }
        if (option.Check && option.TakesValue()) {
            if (auto error = option.Check("--" + option.Long, args.Values[option.Long])) {
                return error;
            }
            for (std::string& value : args.Lists[option.Long]) {
                if (auto error = option.Check("--" + option.Long, value)) {
                    return error;
                }
            }
        }
    }
    return std::nullopt;
}

std::string OptionLabel(const TOptionSpec& option) {
    std::string label;
    if (option.Short != 0) {
        label = std::string("-") + option.Short + ", ";
    }
    label += "--" + option.Long;
    if (option.TakesValue()) {
        label += " " + option.Value;
    }
    return label;
}

} // namespace torvane::cli

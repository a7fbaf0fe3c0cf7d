#include "cli/Messages.h"

#include "i18n/PackData.h"
#include "i18n/StrRes.h"
#include "i18n/WinSkinStore.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <atomic>
#include <iostream>
#include <map>

namespace torvane::cli {

namespace {

std::atomic<TVerbosity> GVerbosity{TVerbosity::Normal};

// The bytes of the built-in packs by language.
const std::map<std::string, std::string>& BuiltInPacks() {
    static const std::map<std::string, std::string> packs = [] {
        std::map<std::string, std::string> bytes;
        TSkinStore store;
        if (ReadStoreForm(EmbeddedPackStoreForm(), store)) {
            for (int i = 0; i < store.Store().Count(); ++i) {
                bytes[store.Store().Item(i).Name()] = store.Store().Item(i).Data();
            }
        }
        return bytes;
    }();
    return packs;
}

// The [StrRes] text of key in the built-in pack of a language; empty when it has none.
std::string BuiltInText(const std::string& language, const std::string& key) {
    const auto& packs = BuiltInPacks();
    const auto it = packs.find(language);
    if (it == packs.end()) {
        return {};
    }
    const platform::TIniFile pack = platform::TIniFile::FromText(it->second);
    return ReadLangString(pack, "StrRes", key, "", PackCodePage(language));
}

} // namespace

std::vector<std::string> BuiltInKeys(const std::string& language) {
    std::vector<std::string> keys;
    const auto it = BuiltInPacks().find(language);
    if (it == BuiltInPacks().end()) {
        return keys;
    }
    std::vector<std::string> lines;
    platform::SplitText(it->second, "\n", lines);
    bool inStrRes = false;
    for (const std::string& raw : lines) {
        const std::string line = platform::Trim(raw);
        if (!line.empty() && line.front() == '[') {
            inStrRes = platform::SameTextAscii(line, "[StrRes]");
            continue;
        }
        const auto eq = line.find('=');
        if (inStrRes && eq != std::string::npos && eq > 0) {
            const std::string key = platform::Trim(line.substr(0, eq));
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
                keys.push_back(key);
            }
        }
    }
    return keys;
}

void SetVerbosity(TVerbosity verbosity) {
    GVerbosity = verbosity;
}

TVerbosity Verbosity() {
    return GVerbosity;
}

std::string Text(const TMessage& message) {
    std::string text = GetStrRes(message.Key);
    if (text.empty()) {
        text = BuiltInText(CurrentLanguage(), message.Key);
    }
    if (text.empty()) {
        text = BuiltInText("en", message.Key);
    }
    return FormatMessage(text, message.Args);
}

void PrintError(const TMessage& message) {
    std::cout << std::flush;
    std::cerr << ProgramName << ": " << Text(message) << std::endl;
}

void PrintNote(const TMessage& message) {
    if (Verbosity() != TVerbosity::Quiet) {
        PrintError(message);
    }
}

void PrintWarning(const TMessage& message) {
    std::cout << std::flush;
    std::cerr << ProgramName << ": " << Text({"IDS_CLI_WARNING", {}}) << ": " << Text(message)
              << std::endl;
}

void PrintTrace(const TMessage& message) {
    if (Verbosity() == TVerbosity::Verbose) {
        std::cout << std::flush;
        std::cerr << ProgramName << ": " << Text(message) << std::endl;
    }
}

void PrintUsageError(const TMessage& message, const std::string& command) {
    const std::string tool = command.empty() ? std::string(ProgramName)
                                             : std::string(ProgramName) + " " + command;
    std::cout << std::flush;
    std::cerr << ProgramName << ": " << Text(message) << Text({"IDS_CLI_SEEHELP", {tool}})
              << std::endl;
}

} // namespace torvane::cli

#include "platform/Diag.h"

#include "platform/Context.h"
#include "platform/Folders.h"
#include "platform/Text.h"

#include <cstdio>
#include <exception>
#include <vector>

namespace torvane::platform {

namespace {

struct TNamed {
    EDiag Category;
    std::string_view Name;
};

constexpr TNamed Names[] = {
    {EDiag::Net, "net"}, {EDiag::Discovery, "discovery"}, {EDiag::Upgrade, "upgrade"},
    {EDiag::Ctp, "ctp"}, {EDiag::I18n, "i18n"},           {EDiag::Host, "host"},
};

bool IsAllWord(const std::string& word) {
    return word == "1" || word == "all" || word == "yes" || word == "on" || word == "true";
}

} // namespace

std::string_view DiagName(EDiag category) {
    for (const TNamed& n : Names) {
        if (n.Category == category) {
            return n.Name;
        }
    }
    return "?";
}

std::string TDiagLog::Configure(std::string_view setting) {
    const std::string text = LowerAscii(Trim(setting));
    if (text.empty() || text == "0" || text == "no" || text == "off" || text == "false") {
        return {};
    }
    unsigned categories = 0;
    std::string unknown;
    std::vector<std::string> words;
    SplitText(ReplaceAll(text, " ", ","), ",", words);
    for (const std::string& raw : words) {
        const std::string word = Trim(raw);
        if (word.empty()) {
            continue;
        }
        if (IsAllWord(word)) {
            categories = DiagAll;
            continue;
        }
        bool known = false;
        for (const TNamed& n : Names) {
            if (word == n.Name) {
                categories |= static_cast<unsigned>(n.Category);
                known = true;
            }
        }
        if (!known) {
            unknown += (unknown.empty() ? "" : ",") + word;
        }
    }
    Enable(categories);
    return unknown;
}

void TDiagLog::Enable(unsigned categories) {
    FCategories |= categories & DiagAll;
}

unsigned TDiagLog::Categories() const {
    return FCategories.load();
}

bool TDiagLog::Enabled(EDiag category) const {
    return (FCategories.load() & static_cast<unsigned>(category)) != 0;
}

void TDiagLog::Write(EDiag category, std::string_view text) {
    if (Enabled(category)) {
        Emit(" " + std::string(DiagName(category)), text);
    }
}

void TDiagLog::Note(std::string_view text) {
    Emit({}, text);
}

void TDiagLog::Emit(const std::string& category, std::string_view text) {
    std::lock_guard<std::mutex> g(FLock);
    std::string line = ProgramNameForDiag() + ": debug" + category + ": ";
    // One line each: a line break inside the text would make two.
    for (const char c : text) {
        line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    if (FSink) {
        FSink(line);
        return;
    }
    line += '\n';
    std::fflush(stdout);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void TDiagLog::SetSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> g(FLock);
    FSink = std::move(sink);
}

void ConfigureDiagFromEnvironment(TDiagLog& log) {
    const std::string unknown = log.Configure(EnvironmentValue("TORVANE_DEBUG"));
    if (!unknown.empty()) {
        std::string known;
        for (const TNamed& n : Names) {
            known += (known.empty() ? "" : ", ") + std::string(n.Name);
        }
        log.Note("TORVANE_DEBUG names no category \"" + unknown + "\" (there are " + known +
                 ", and all)");
    }
}

bool DiagOn(EDiag category) {
    return Context().Diag().Enabled(category);
}

void Diag(EDiag category, std::string_view text) {
    Context().Diag().Write(category, text);
}

void DiagCaught(EDiag category, std::string_view where) {
    if (!DiagOn(category)) {
        return;
    }
    std::string what = "an error that is no exception";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    Diag(category, std::string(where) + ": caught and passed over: " + what);
}

std::string ProgramNameForDiag() {
    static const std::string name = [] {
        const std::string file = FileNameOf(ModulePath());
        return file.empty() ? std::string("torvane") : file;
    }();
    return name;
}

} // namespace torvane::platform

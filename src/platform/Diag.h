#pragma once
// The diagnostic log: one line on standard error for each thing the program drops or
// swallows without telling the user (a datagram it does not understand, one too long for
// its buffer, an error caught where nothing can be shown). Off by default; switched on by
// the environment variable TORVANE_DEBUG (window and torvane-cli: "1" or "all" for every
// category, or names such as "net,ctp") and by torvane-cli's -v. It is never part of the
// operation log, and no line carries a password: callers write reasons, sizes and
// addresses, never a datagram's or a request's contents.
//
// A line: "<program>: debug <category>: <text>". Safe from any thread; lines never mix.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace torvane::platform {

enum class EDiag : unsigned {
    Net = 1u << 0,       // sockets, HTTP
    Discovery = 1u << 1, // the LAN search: listeners, parsers, the vendor library
    Upgrade = 1u << 2,   // the worker, downloads, packages
    Ctp = 1u << 3,       // the CTP client and its version search
    I18n = 1u << 4,      // language packs, window translation
    Host = 1u << 5,      // work handed to the main thread, message boxes
};
inline constexpr unsigned DiagAll = 0x3Fu;

// The category's name as TORVANE_DEBUG spells it ("net", "discovery", ...).
[[nodiscard]] std::string_view DiagName(EDiag category);

class TDiagLog {
public:
    // Switches categories on from a setting: empty or "0" none; "1", "all", "yes", "on" all;
    // otherwise names separated by "," or blanks (case ignored). Names it does not know are
    // returned (comma-separated), so that the program can say so; the rest still applies.
    std::string Configure(std::string_view setting);
    void Enable(unsigned categories);
    [[nodiscard]] unsigned Categories() const;
    [[nodiscard]] bool Enabled(EDiag category) const;

    // Writes one line when the category is on.
    void Write(EDiag category, std::string_view text);
    // Writes one line whatever is on ("<program>: debug: <text>"): what the log itself has
    // to say about its setting.
    void Note(std::string_view text);
    // Where lines go instead of standard error (tests); an empty function goes back to it.
    void SetSink(std::function<void(const std::string& line)> sink);

private:
    void Emit(const std::string& category, std::string_view text);

    std::mutex FLock; // one line at a time
    std::atomic<unsigned> FCategories{0};
    std::function<void(const std::string&)> FSink;
};

// Switches the log on as TORVANE_DEBUG says; names it does not know are noted in the log.
void ConfigureDiagFromEnvironment(TDiagLog& log);

// Shorthands on the current context's log.
[[nodiscard]] bool DiagOn(EDiag category);
void Diag(EDiag category, std::string_view text);
// For a catch (...) block that goes on: one line naming where it happened and what was
// caught (the exception's text when it has one).
void DiagCaught(EDiag category, std::string_view where);

// The program's name as it prefixes the lines (the running file's name).
[[nodiscard]] std::string ProgramNameForDiag();

} // namespace torvane::platform

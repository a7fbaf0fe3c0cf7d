#include "cli/Password.h"

#include "platform/Folders.h"
#include "platform/Terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace torvane::cli {

namespace {

// A password is one line; nothing past this much of a file is looked at.
constexpr std::size_t MaxPasswordFileBytes = 64 * 1024;

} // namespace

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error) {
    std::string bytes;
    if (!platform::ReadFileBytes(path, bytes, MaxPasswordFileBytes)) {
        // A folder opens but does not read, and leaves no error number of its own.
        error = platform::FolderExists(path) ? std::strerror(EISDIR) : platform::LastErrorText();
        return false;
    }
    password = bytes.substr(0, bytes.find('\n'));
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    return true;
}

std::optional<TMessage> ObtainPassword(const TParsedArgs& args, const std::string& fallback,
                                       const std::string& user, const std::string& address,
                                       TPassword& out) {
    if (args.Has("password") && args.Has("password-file")) {
        return TMessage{"IDS_CLI_PASSWORDTWICE", {"--password", "--password-file"}};
    }
    if (args.Has("password-file")) {
        const std::string path = args.Get("password-file", "");
        std::string error;
        if (!ReadPasswordFile(path, out.Text, error)) {
            return TMessage{"IDS_CLI_PASSWORDFILE", {path, error}};
        }
        out.Source = "--password-file";
        return std::nullopt;
    }
    if (args.Get("password", "") == "-") {
        // batch asks once for every camera of its list: no address to name then.
        const TMessage question = address.empty()
                                      ? TMessage{"IDS_CLI_PASSWORDPROMPTUSER", {user}}
                                      : TMessage{"IDS_CLI_PASSWORDPROMPT", {user, address}};
        const std::string prompt = platform::StdinIsTerminal() ? Text(question) : "";
        if (!platform::ReadSecretLine(prompt, out.Text)) {
            return TMessage{"IDS_CLI_NOPASSWORDINPUT", {}};
        }
        out.Source = "--password -";
        return std::nullopt;
    }
    if (args.Has("password")) {
        out.Text = args.Get("password", "");
        out.Source = "--password";
        return std::nullopt;
    }
    if (const std::string env = platform::EnvironmentValue("TORVANE_PASSWORD"); !env.empty()) {
        out.Text = env;
        out.Source = "TORVANE_PASSWORD";
        return std::nullopt;
    }
    out.Text = fallback;
    out.Source.clear();
    return std::nullopt;
}

} // namespace torvane::cli

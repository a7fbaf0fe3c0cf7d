#include "cli/SharedOptions.h"

#include "cli/Checks.h"
#include "i18n/Deployment.h"

namespace torvane::cli {

TOptionSpec UserOption(const std::string& whose) {
    return {.Long = "user",
            .Value = "NAME",
            .Help = whose + " (default " + DefaultUser + ")"};
}

TOptionSpec PasswordOption(const std::string& whose, const std::string& dashAlso) {
    return {.Long = "password",
            .Value = "PASSWORD",
            .Help = whose + " (default " + DefaultPassword +
                    "). \"-\" asks for it on the terminal without echo" + dashAlso +
                    ". A password written here can be read by every user of the machine in "
                    "the process list: prefer --password-file, TORVANE_PASSWORD or \"-\"."};
}

TOptionSpec PasswordFileOption(const std::string& help) {
    return {.Long = "password-file", .Value = "FILE", .Help = help, .Complete = TComplete::Files};
}

TOptionSpec FirmwareOption(const std::vector<std::string>& words) {
    std::string value;
    for (const std::string& word : words) {
        value += (value.empty() ? "" : "|") + word;
    }
    return {.Long = "firmware",
            .Value = value,
            .Help = "the system firmware, the UI firmware, or both: system, then UI (default)",
            .Words = words,
            .Complete = TComplete::Words,
            .Check = CheckOneOf(words, false)};
}

TOptionSpec ServerOption(const std::string& what) {
    return {.Long = "server",
            .Value = "URL|DIR",
            .Help = what + " (default: the server setting of option.ini, else " +
                    DefaultFirmwareServerUrl() + ")",
            .Complete = TComplete::Folders,
            .Check = CheckFirmwareSource(),
            .FromSettings = true};
}

TOptionSpec BroadcastOption(const std::string& where) {
    return {.Long = "broadcast",
            .Value = "auto|ADDR",
            .Help = where +
                    ": auto (out of every network interface) or one IPv4 address "
                    "(default: the broadcast setting of option.ini, else " +
                    DefaultBroadcastAddress() + ")",
            .Check = CheckBroadcast(),
            .FromSettings = true};
}

TOptionSpec InterfaceOption(const std::string& what) {
    return {.Long = "interface",
            .Value = "NAME",
            .Help = what + " (default: the interface setting of option.ini, else every "
                           "interface)",
            .Check = CheckInterfaceName(),
            .FromSettings = true};
}

} // namespace torvane::cli

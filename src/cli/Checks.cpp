#include "cli/Checks.h"

#include "i18n/Deployment.h"
#include "platform/Interfaces.h"
#include "platform/Resolve.h"
#include "platform/Socket.h"
#include "platform/Text.h"
#include "upgrade/uIUpgrade.h"

#include <algorithm>

namespace torvane::cli {

namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Digits and dots only, or a "0x" number part: what the resolver would read as an address.
bool LooksNumeric(const std::string& text) {
    std::vector<std::string> labels;
    platform::SplitText(text, ".", labels);
    return std::all_of(labels.begin(), labels.end(), [](const std::string& label) {
        return label.empty() || AllDigits(label) ||
               platform::StartsWith(platform::LowerAscii(label), "0x");
    });
}

std::string Joined(const std::vector<std::string>& words, const std::string& separator) {
    std::string out;
    for (const std::string& w : words) {
        out += (out.empty() ? "" : separator) + w;
    }
    return out;
}

} // namespace

TValueCheck CheckOneOf(std::vector<std::string> words, bool ignoreCase) {
    return [words = std::move(words), ignoreCase](const std::string& option,
                                                  std::string& value) -> std::optional<TMessage> {
        for (const std::string& w : words) {
            if (value == w || (ignoreCase && platform::CompareTextAscii(value, w) == 0)) {
                value = w;
                return std::nullopt;
            }
        }
        return TMessage{"IDS_CLI_BADCHOICE", {option, Joined(words, "|"), value}};
    };
}

TValueCheck CheckWholeNumber(long long min, long long max) {
    return [min, max](const std::string& option, std::string& value) -> std::optional<TMessage> {
        // At most 18 digits, so the number cannot overflow; more is out of range anyway.
        if (AllDigits(value) && value.size() <= 18) {
            const long long n = std::stoll(value);
            if (n >= min && n <= max) {
                return std::nullopt;
            }
        }
        return TMessage{"IDS_CLI_BADNUMBER",
                        {option, std::to_string(min), std::to_string(max), value}};
    };
}

TValueCheck CheckIPv4(std::string example) {
    return [example = std::move(example)](const std::string& option,
                                          std::string& value) -> std::optional<TMessage> {
        std::uint32_t address = 0;
        if (platform::ParseIPv4(platform::Trim(value), address)) {
            value = platform::Trim(value);
            return std::nullopt;
        }
        return TMessage{"IDS_CLI_BADIPV4", {option, example, value}};
    };
}

TValueCheck CheckBroadcast() {
    return [](const std::string& option, std::string& value) -> std::optional<TMessage> {
        const std::string text = platform::Trim(value);
        if (platform::IsValidBroadcastSetting(text)) {
            value = platform::IsAutoBroadcast(text) ? "auto" : text;
            return std::nullopt;
        }
        return TMessage{"IDS_CLI_BADBROADCAST", {option, "255.255.255.255", value}};
    };
}

TValueCheck CheckInterfaceName() {
    return [](const std::string& option, std::string& value) -> std::optional<TMessage> {
        const std::string text = platform::Trim(value);
        if (platform::IsValidInterfaceName(text)) {
            value = text;
            return std::nullopt;
        }
        return TMessage{"IDS_CLI_BADINTERFACE", {option, value}};
    };
}

TValueCheck CheckHost() {
    return [](const std::string& option, std::string& value) -> std::optional<TMessage> {
        std::uint32_t address = 0;
        if (platform::ParseIPv4(value, address)) {
            return std::nullopt;
        }
        if (LooksNumeric(value) || !IsHostName(value)) {
            return TMessage{"IDS_CLI_BADHOST", {option, value}};
        }
        std::string error;
        if (!platform::ResolveIPv4(value, address, error)) {
            return TMessage{"IDS_CLI_UNRESOLVED", {option, value, error}};
        }
        value = platform::IPv4ToText(address);
        return std::nullopt;
    };
}

TValueCheck CheckFirmwareSource() {
    return [](const std::string& option, std::string& value) -> std::optional<TMessage> {
        const TFirmwareSource source = ParseFirmwareSource(value);
        if (source.Kind == EFirmwareSourceKind::Invalid) {
            return TMessage{"IDS_CLI_BADSOURCE", {option, value}};
        }
        // A folder goes on as the absolute path it names from here.
        if (source.Kind == EFirmwareSourceKind::Folder) {
            value = source.Location;
        }
        return std::nullopt;
    };
}

TValueCheck CheckFolder() {
    return [](const std::string& option, std::string& value) -> std::optional<TMessage> {
        if (platform::Trim(value).empty() || value.find('\0') != std::string::npos) {
            return TMessage{"IDS_CLI_BADFOLDER", {option, value}};
        }
        return std::nullopt;
    };
}

TValueCheck CheckCatalogFolder() {
    return [](const std::string& option, std::string& value) -> std::optional<TMessage> {
        const std::string folder = platform::LowerAscii(value);
        if (folder.empty() || !IsSafeCatalogFolder(folder)) {
            return TMessage{"IDS_CLI_BADOEM", {option, value}};
        }
        return std::nullopt;
    };
}

bool IsHostName(const std::string& text) {
    if (text.empty() || text.size() > 253) {
        return false;
    }
    std::vector<std::string> labels;
    platform::SplitText(text.back() == '.' ? text.substr(0, text.size() - 1) : text, ".",
                        labels);
    for (const std::string& label : labels) {
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
            return false;
        }
        if (!std::all_of(label.begin(), label.end(),
                         [](char c) { return IsLetterOrDigit(c) || c == '-'; })) {
            return false;
        }
    }
    return !AllDigits(labels.back());
}

} // namespace torvane::cli

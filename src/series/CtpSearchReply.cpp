#include "series/CtpSearchReply.h"

#include "platform/Text.h"

#include <climits>
#include <iterator>

namespace torvane {

namespace ctp {

bool IsSearchReply(std::string_view datagram) {
    return platform::StartsWith(datagram, SearchReplyTag);
}

TSearchReply::TSearchReply(std::string_view datagram, TLineEnds lineEnds) {
    if (lineEnds == TLineEnds::CrLf) {
        // Every piece between CR LF pairs is a line, the text after the last one too.
        platform::SplitText(datagram, "\r\n", FLines);
        return;
    }
    // CR LF, a lone CR and a lone LF each end a line; nothing after the last line end is
    // no line. Empty lines hold no key, so how many of them there are does not matter.
    const std::string oneEnd =
        platform::ReplaceAll(platform::ReplaceAll(datagram, "\r\n", "\n"), "\r", "\n");
    platform::SplitText(oneEnd, "\n", FLines);
    if (!FLines.empty() && FLines.back().empty()) {
        FLines.pop_back();
    }
}

std::optional<std::string> TSearchReply::LeadingKey(std::string_view key) const {
    for (const std::string& line : FLines) {
        if (platform::StartsWith(line, key)) {
            // One separator character after the key, then the value.
            return line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string();
        }
    }
    return std::nullopt;
}

std::vector<TSearchReply::TClaimedLine>
TSearchReply::ClaimedLines(std::span<const std::string_view> keys) const {
    std::vector<TClaimedLine> claimed;
    for (const std::string& text : FLines) {
        const std::string_view line = text;
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (line.find(keys[k]) == std::string_view::npos) {
                continue;
            }
            const auto blank = line.find(' ');
            claimed.push_back(
                {k, blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1)});
            break;
        }
    }
    return claimed;
}

} // namespace ctp

namespace {

// A text cut to a record field's length.
std::string Cut(std::string_view text, std::size_t length) {
    return std::string(text.substr(0, length));
}

// The version of a "-version" value: its second blank-separated word together with the
// blank that ends it; empty when no blank follows that word.
std::string VersionOfValue(std::string_view value) {
    const auto first = value.find(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto second = value.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return {};
    }
    return std::string(value.substr(first + 1, second - first));
}

} // namespace

TCTPDeviceRecord ParseCTPSearchReply(std::string_view datagram) {
    // The order decides which key claims a line that holds several.
    enum TKey { Name, Serial, PortCtp, IP, Netmask, Mdns, Sdns, Gateway, Dhcp, Version };
    static constexpr std::string_view Keys[] = {
        ctp::KeyName,       ctp::KeySerial,       ctp::KeyPortCtp, ctp::KeyIP,   ctp::KeyNetmask,
        ctp::KeyPrimaryDns, ctp::KeySecondaryDns, ctp::KeyGateway, ctp::KeyDhcp, ctp::KeyVersion};
    // The keys whose value is kept as a text, cut to its field's length; null for the
    // three read below.
    using R = TCTPDeviceRecord;
    struct TTextField {
        std::string R::*Field;
        std::size_t Length;
    };
    static constexpr TTextField TextFields[] = {
        {&R::Name, R::NameLength},          {&R::Serial, R::SerialLength},
        {nullptr, 0},                       {&R::IP, R::AddressLength},
        {&R::Netmask, R::AddressLength},    {&R::PrimaryDns, R::AddressLength},
        {&R::SecondaryDns, R::AddressLength}, {&R::Gateway, R::AddressLength},
        {nullptr, 0},                       {nullptr, 0}};
    static_assert(std::size(TextFields) == std::size(Keys));
    TCTPDeviceRecord record;
    const ctp::TSearchReply reply(datagram, ctp::TSearchReply::TLineEnds::Any);
    for (const auto& [key, value] : reply.ClaimedLines(Keys)) {
        if (const TTextField& text = TextFields[key]; text.Field != nullptr) {
            record.*text.Field = Cut(value, text.Length);
            continue;
        }
        switch (key) {
        case PortCtp: {
            const long long port = platform::ToIntDef(value, 81);
            // A number beyond 32 bits is no number for this field either.
            record.PortCtp = port < INT32_MIN || port > INT32_MAX ? 81 : static_cast<int>(port);
            break;
        }
        case Dhcp:
            record.DhcpOn = value != "0";
            break;
        case Version:
            record.Version = Cut(VersionOfValue(value), TCTPDeviceRecord::VersionLength);
            break;
        default:
            break;
        }
    }
    return record;
}

} // namespace torvane

#include "series/DevInfo.h"

#include "platform/Text.h"

namespace torvane {

void ReadAddressTexts(const platform::TByteReader& block, TDevInfo& record) {
    record.szIPAddr = block.Text(addresstexts::Address);
    record.szMask = block.Text(addresstexts::Netmask);
    record.szGateway = block.Text(addresstexts::Gateway);
    record.szDNS1 = block.Text(addresstexts::Dns1);
    record.szDNS2 = block.Text(addresstexts::Dns2);
}

void WriteAddressTexts(platform::TByteWriter block, const TDevInfo& record) {
    block.Text(addresstexts::Address, record.szIPAddr);
    block.Text(addresstexts::Netmask, record.szMask);
    block.Text(addresstexts::Gateway, record.szGateway);
    block.Text(addresstexts::Dns1, record.szDNS1);
    block.Text(addresstexts::Dns2, record.szDNS2);
}

std::string MacToStr(const std::uint8_t bytes[6]) {
    return platform::HexText(bytes, 6);
}

std::string MacToColonText(const std::uint8_t bytes[6]) {
    return platform::HexText(bytes, 6, platform::EHexCase::Upper, ":");
}

std::string SerialToStr(const std::uint8_t bytes[7]) {
    return platform::HexText(bytes, 7);
}

std::string NormalizeMac(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '-' || c == ':') {
            continue;
        }
        if (c == ' ') {
            out += '0';
        } else if (c >= 'a' && c <= 'z') {
            out += static_cast<char>(c - 'a' + 'A');
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace torvane

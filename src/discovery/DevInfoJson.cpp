#include "discovery/DevInfoJson.h"

#include <cstdio>

namespace torvane {

namespace {

// Length of the well-formed UTF-8 sequence at i (2 to 4), or 0 when there is none.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    std::size_t n = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        lo = b0 == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        hi = b0 == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        lo = b0 == 0xF0 ? 0x90 : 0x80;
        hi = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + n > s.size()) {
        return 0;
    }
    if (byte(i + 1) < lo || byte(i + 1) > hi) {
        return 0;
    }
    for (std::size_t k = 2; k < n; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return n;
}

void AppendEscape(std::string& out, unsigned char c) {
    char buffer[8];
    std::snprintf(buffer, sizeof(buffer), "\\u%04X", static_cast<unsigned>(c));
    out += buffer;
}

void Field(std::string& out, const char* name, const std::string& value) {
    out += out.back() == '{' ? "" : ",";
    out += JsonString(name);
    out += ':';
    out += JsonString(value);
}

void Field(std::string& out, const char* name, long long value) {
    out += out.back() == '{' ? "" : ",";
    out += JsonString(name);
    out += ':';
    out += std::to_string(value);
}

} // namespace

std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\r') {
            out += "\\r";
            ++i;
        } else if (c == '\t') {
            out += "\\t";
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscape(out, c);
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = Utf8SequenceAt(bytes, i); n > 0) {
            out.append(bytes.substr(i, n));
            i += n;
        } else {
            AppendEscape(out, c); // a byte outside UTF-8, kept by its value
            ++i;
        }
    }
    out += '"';
    return out;
}

std::string DevInfoToJson(const TDevInfo& r) {
    // szDdnsPwd and szLoginPwd are left out: a T camera's search reply carries its login
    // password, and the list is printed, piped and saved in logs.
    std::string out = "{";
    Field(out, "nType", r.nType);
    Field(out, "szID", r.szID);
    Field(out, "szMac", r.szMac);
    Field(out, "szSN", r.szSN);
    Field(out, "szName", r.szName);
    Field(out, "szVersion", r.szVersion);
    Field(out, "szIPAddr", r.szIPAddr);
    Field(out, "szMask", r.szMask);
    Field(out, "szGateway", r.szGateway);
    Field(out, "szAux", r.szAux);
    Field(out, "szDNS1", r.szDNS1);
    Field(out, "szDNS2", r.szDNS2);
    Field(out, "wPort", r.wPort);
    Field(out, "wPort2", r.wPort2);
    Field(out, "wAux", r.wAux);
    Field(out, "btDHCP", r.btDHCP);
    Field(out, "btDdnsOn", r.btDdnsOn);
    Field(out, "szDdnsUser", r.szDdnsUser);
    Field(out, "szDdns", r.szDdns);
    Field(out, "szDdnsHost", r.szDdnsHost);
    Field(out, "nExtra", r.nExtra);
    Field(out, "szLoginUser", r.szLoginUser);
    Field(out, "nAux", r.nAux);
    Field(out, "nTTL", r.nTTL);
    Field(out, "wAux2", r.wAux2);
    Field(out, "interface", r.szInterface);
    out += '}';
    return out;
}

std::string DevInfoListToJson(const std::vector<TDevInfo>& records) {
    std::string out = "[";
    for (std::size_t i = 0; i < records.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += DevInfoToJson(records[i]);
    }
    out += records.empty() ? "]\n" : "\n]\n";
    return out;
}

} // namespace torvane

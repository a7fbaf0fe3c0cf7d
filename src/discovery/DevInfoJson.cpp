#include "discovery/DevInfoJson.h"


namespace torvane {

namespace {

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

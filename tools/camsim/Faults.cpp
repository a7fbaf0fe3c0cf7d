#include "Faults.h"

#include "Error.h"

#include <array>

namespace camsim {

namespace {

struct TFaultName {
    EFault Fault;
    const char* Name;
    bool HasKind;
};

constexpr std::array<TFaultName, 13> FaultNames = {{
    {EFault::RefuseLogin, "refuse-login", false},
    {EFault::Unreachable, "unreachable", false},
    {EFault::Upload500, "upload-500", true},
    {EFault::NoReturn, "no-return", false},
    {EFault::BadMd5, "bad-md5", true},
    {EFault::BadZip, "bad-zip", true},
    {EFault::Excluded, "excluded", true},
    {EFault::UploadTrickle, "upload-trickle", true},
    {EFault::CtpByteByByte, "ctp-byte-by-byte", false},
    {EFault::CtpProgress, "ctp-progress", false},
    {EFault::CtpMuteLogin, "ctp-mute-login", false},
    {EFault::KeepOld, "keep-old", true},
    {EFault::HideVersion, "hide-version", false},
}};

int KindIndex(EFirmwareKind kind) {
    return kind == EFirmwareKind::System ? 0 : 1;
}

} // namespace

void TFaultSet::Add(std::string_view text) {
    const std::size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    const std::string_view kind = colon == std::string_view::npos ? "" : text.substr(colon + 1);
    for (const TFaultName& entry : FaultNames) {
        if (name != entry.Name) {
            continue;
        }
        const int index = static_cast<int>(entry.Fault);
        if (colon == std::string_view::npos) {
            FOn[index][0] = FOn[index][1] = true;
        } else if (!entry.HasKind) {
            throw TUsageError("fault " + std::string(name) + " cannot be limited to one kind");
        } else if (kind == "sys") {
            FOn[index][0] = true;
        } else if (kind == "ui") {
            FOn[index][1] = true;
        } else {
            throw TUsageError("fault " + std::string(text) + ": the kind is sys or ui");
        }
        return;
    }
    throw TUsageError("unknown fault \"" + std::string(text) + "\" (known: " + Names() + ")");
}

bool TFaultSet::Has(EFault fault) const {
    const int index = static_cast<int>(fault);
    return FOn[index][0] || FOn[index][1];
}

bool TFaultSet::Has(EFault fault, EFirmwareKind kind) const {
    return FOn[static_cast<int>(fault)][KindIndex(kind)];
}

std::string TFaultSet::Text() const {
    std::string out;
    for (const TFaultName& entry : FaultNames) {
        const int index = static_cast<int>(entry.Fault);
        const bool sys = FOn[index][0];
        const bool ui = FOn[index][1];
        if (!sys && !ui) {
            continue;
        }
        if (!out.empty()) {
            out += ",";
        }
        out += entry.Name;
        if (sys != ui) {
            out += sys ? ":sys" : ":ui";
        }
    }
    return out.empty() ? "none" : out;
}

std::string TFaultSet::Names() {
    std::string out;
    for (const TFaultName& entry : FaultNames) {
        if (!out.empty()) {
            out += ", ";
        }
        out += entry.Name;
    }
    return out;
}

} // namespace camsim

#include "series/uEUpgrade.h"

#include "platform/Diag.h"
#include "platform/Text.h"
#include "series/uEUpgradeFile.h"

#include <stdexcept>
#include <vector>

namespace torvane {

namespace {

constexpr const char* PackageExtension = ".pk2";

std::vector<std::string> VersionFields(const std::string& version) {
    std::vector<std::string> fields;
    platform::SplitText(version, ".", fields);
    return fields;
}

} // namespace

template <typename TKind>
std::string TESeriesAdapter<TKind>::GetLocalFileName() const {
    return this->LocalFileNameWith(PackageExtension);
}

// The firmware goes over CTP, whose login line cannot carry a line break: credentials
// with CR or LF are refused before the camera is asked anything (the worker then says the
// user or password is wrong). Otherwise the HTTP login check of the kind-level class.
template <typename TKind>
int TESeriesAdapter<TKind>::Login() {
    if (!CtpCredentialsSendable(this->User(), this->Password())) {
        return TUpgradeObject::LoginRefused;
    }
    return TKind::Login();
}

template <typename TKind>
bool TESeriesAdapter<TKind>::Upload(std::string& message) {
    return UploadPackage(this->LocalFirmwarePath(), this->IP(), this->Port(), this->User(),
                         this->Password(), message);
}

template class TESeriesAdapter<TUIUpgradeObject>;
template class TESeriesAdapter<TSysUpgradeObject>;

// --- system firmware -----------------------------------------------------------------------

bool TESYSUpgrade::ReadCurrentVersion() {
    // AppModel is not read for this series; it stays as it is.
    try {
        std::string version;
        if (!ReadDeviceVersion(IP(), Port(), version)) {
            return false; // camera not reachable: no version, not the error text as one
        }
        SetCurrentVersion(version);
        return !version.empty();
    } catch (const std::exception&) {
        platform::DiagCaught(platform::EDiag::Ctp, "reading an E camera's version");
        return false;
    }
}

std::string TESYSUpgrade::GetCatalogSection() const {
    if (!AppModel().empty()) {
        return TSysUpgradeObject::GetCatalogSection();
    }
    const auto fields = VersionFields(CurrentVersion());
    if (fields.size() < 4) {
        return {};
    }
    // The fields stay as they are: a version read from the search may end with a blank,
    // which the catalogue's section lookup ignores.
    return fields[0] + "." + fields[1] + ".X." + fields[3];
}

bool TESYSUpgrade::IsSameVersion(const std::string& version) const {
    const auto offered = VersionFields(version);
    const auto current = VersionFields(CurrentVersion());
    if (offered.size() < 4 || current.size() < 4) {
        throw std::invalid_argument("E-series version without four fields: \"" + version +
                                    "\" / \"" + CurrentVersion() + "\"");
    }
    return platform::Trim(offered[2]) == platform::Trim(current[2]);
}

} // namespace torvane

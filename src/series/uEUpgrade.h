#pragma once
// E-series upgrade adapters. They keep the HTTP login check, the catalogue read and the
// package download of the kind-level classes; the unpacked firmware is a PK2 package sent
// with the CTP client (uEUpgradeFile). The system adapter reads the camera's version from
// its CTP search reply, names its catalogue section after that version with the third
// field open ("1.2.X.4") and compares versions by the third field alone.

#include "series/SeriesAdapter.h"

namespace torvane {

// The package name, the login check and the upload, the same for both kinds.
template <typename TKind>
class TESeriesAdapter : public TSeriesAdapter<TKind> {
public:
    // FirmwareFileName trimmed, its last four characters replaced by ".pk2".
    [[nodiscard]] std::string GetLocalFileName() const override;
    // The HTTP login check, except that an account or password holding CR or LF is
    // refused (1) without a request: the CTP login could not carry it.
    [[nodiscard]] int Login() override;
    // UploadPackage of LocalFirmwarePath to IP:Port.
    [[nodiscard]] bool Upload(std::string& message) override;
};

extern template class TESeriesAdapter<TUIUpgradeObject>;
extern template class TESeriesAdapter<TSysUpgradeObject>;

class TEUIUpgrade : public TESeriesAdapter<TUIUpgradeObject> {};

class TESYSUpgrade : public TESeriesAdapter<TSysUpgradeObject> {
public:
    // CurrentVersion from the camera's CTP search reply; false (CurrentVersion kept) when
    // the camera cannot be connected, no reply names it, or no socket can be had.
    [[nodiscard]] bool ReadCurrentVersion() override;
    // AppModel when known; otherwise fields 1, 2 and 4 of CurrentVersion with "X" as the
    // third ("1.2.3.4" gives "1.2.X.4"; fields are not trimmed); empty with fewer than four
    // fields.
    [[nodiscard]] std::string GetCatalogSection() const override;
    // True when the trimmed third fields agree. Throws std::invalid_argument when either
    // version has fewer than four fields (the run ends there).
    [[nodiscard]] bool IsSameVersion(const std::string& version) const override;
};

} // namespace torvane

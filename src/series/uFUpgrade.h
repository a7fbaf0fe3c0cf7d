#pragma once
// F-series upgrade adapters. The camera reports its versions on /get_status.cgi (values in
// single quotes) and takes firmware by a multipart POST whose query carries the account and
// password; each adapter accepts only files that begin with its kind's signature.

#include "series/SeriesAdapter.h"

namespace torvane {

template <typename TKind>
class TFSeriesAdapter : public TSeriesAdapter<TKind> {
public:
    // CurrentVersion from the "app_ver" (UI firmware) or "sys_ver" (system firmware) value
    // of /get_status.cgi.
    [[nodiscard]] bool ReadCurrentVersion() override;
    // To /upgrade_htmls.cgi (UI) or /upgrade_firmware.cgi (system), when the file begins
    // with the kind's signature.
    [[nodiscard]] bool Upload(std::string& message) override;
};

extern template class TFSeriesAdapter<TUIUpgradeObject>;
extern template class TFSeriesAdapter<TSysUpgradeObject>;

class TFUIUpgrade : public TFSeriesAdapter<TUIUpgradeObject> {};

class TFSYSUpgrade : public TFSeriesAdapter<TSysUpgradeObject> {};

} // namespace torvane

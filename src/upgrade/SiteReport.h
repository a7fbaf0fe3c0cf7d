#pragma once
// The report of a site upgrade, for the file the installer hands over: for each camera its
// address, port, series and outcome, and for each run its firmware kind, outcome key,
// versions before, offered and after, start and end time (UTC, ISO 8601) and its log lines.
// As JSON (one object) or CSV (one row per run; a camera that never started has one row
// without a run). Passwords are never written.

#include "upgrade/SiteUpgrade.h"

#include <chrono>
#include <string>
#include <vector>

namespace torvane {

// "2026-12-09T15:20:01Z"; empty for a time never set.
[[nodiscard]] std::string UtcTimeText(std::chrono::system_clock::time_point time);

[[nodiscard]] std::string SiteReportJson(const std::vector<TSiteCameraResult>& results);
[[nodiscard]] std::string SiteReportCsv(const std::vector<TSiteCameraResult>& results);
// JSON when path ends in ".json" or anything but ".csv" (ASCII case ignored), else CSV.
[[nodiscard]] std::string SiteReportFor(const std::string& path,
                                        const std::vector<TSiteCameraResult>& results);
// The summary's counts as the fields of a JSON object, without the braces:
// "cameras":N,"upgraded":N,"nothing_to_install":N,"failed":N,"not_started":N
[[nodiscard]] std::string SummaryJsonFields(const TSiteSummary& summary);

// Writes the report for path there: a fresh file beside it renamed into place, so a reader
// never sees half a report. 0, or the system's error.
[[nodiscard]] int WriteSiteReport(const std::string& path,
                                  const std::vector<TSiteCameraResult>& results);

} // namespace torvane

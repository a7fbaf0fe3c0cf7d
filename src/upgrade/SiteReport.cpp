#include "upgrade/SiteReport.h"

#include "platform/File.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Json.h"
#include "platform/Text.h"

#include <cstdio>

namespace torvane {

namespace {

using platform::JsonArray;
using platform::JsonString;

std::string Field(const char* name, const std::string& value) {
    return JsonString(name) + ":" + JsonString(value);
}

// A CSV field: quoted when it holds a comma, a quote or a line break (quotes doubled).
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    return "\"" + platform::ReplaceAll(text, "\"", "\"\"") + "\"";
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += (out.empty() ? "" : "\n") + line;
    }
    return out;
}

} // namespace

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    if (time.time_since_epoch().count() == 0) {
        return {};
    }
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto days = floor<std::chrono::days>(seconds);
    const year_month_day date{days};
    const hh_mm_ss clock{seconds - days};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    return buffer;
}

std::string SummaryJsonFields(const TSiteSummary& s) {
    return "\"cameras\":" + std::to_string(s.Cameras) + ",\"upgraded\":" +
           std::to_string(s.Upgraded) + ",\"nothing_to_install\":" +
           std::to_string(s.NothingToInstall) + ",\"failed\":" + std::to_string(s.Failed) +
           ",\"not_started\":" + std::to_string(s.NotStarted);
}

std::string SiteReportJson(const std::vector<TSiteCameraResult>& results) {
    std::string out = "{\"cameras\":[";
    for (std::size_t c = 0; c < results.size(); ++c) {
        const TSiteCameraResult& r = results[c];
        out += c == 0 ? "\n" : ",\n";
        out += "{" + Field("camera", r.Camera.Name()) + "," + Field("address", r.Camera.Address) +
               ",\"port\":" + std::to_string(r.Camera.Port) + "," +
               Field("series", r.Camera.SeriesLetter()) + "," +
               Field("outcome", OutcomeName(r.Outcome)) + ",\"runs\":[";
        for (std::size_t i = 0; i < r.Runs.size(); ++i) {
            const TSiteRunResult& run = r.Runs[i];
            out += (i == 0 ? "" : ",");
            out += "{" + Field("firmware", run.IsSystem ? "system" : "ui") + "," +
                   Field("outcome", run.OutcomeKey) + "," +
                   Field("result", OutcomeName(run.Outcome)) + "," +
                   Field("version_before", run.VersionBefore) + "," +
                   Field("version_offered", run.VersionOffered) + "," +
                   Field("version_after", run.VersionAfter) + "," +
                   Field("start", UtcTimeText(run.Start)) + "," +
                   Field("end", UtcTimeText(run.End)) + ",\"log\":" + JsonArray(run.Log) +
                   ",\"notices\":" + JsonArray(run.Notices) + "}";
        }
        out += "]}";
    }
    out += "\n],\"summary\":{" + SummaryJsonFields(Summarize(results)) + "}}\n";
    return out;
}

std::string SiteReportCsv(const std::vector<TSiteCameraResult>& results) {
    std::string out = "address,port,series,camera_outcome,firmware,outcome,result,version_before,"
                      "version_offered,version_after,start,end,log\r\n";
    for (const TSiteCameraResult& r : results) {
        const std::string camera = CsvField(r.Camera.Address) + "," +
                                   std::to_string(r.Camera.Port) + "," +
                                   r.Camera.SeriesLetter() + "," + OutcomeName(r.Outcome) + ",";
        if (r.Runs.empty()) {
            out += camera + ",,,,,,,,\r\n";
            continue;
        }
        for (const TSiteRunResult& run : r.Runs) {
            std::vector<std::string> lines = run.Log;
            lines.insert(lines.end(), run.Notices.begin(), run.Notices.end());
            out += camera + (run.IsSystem ? "system" : "ui") + "," + CsvField(run.OutcomeKey) +
                   "," + OutcomeName(run.Outcome) + "," + CsvField(run.VersionBefore) + "," +
                   CsvField(run.VersionOffered) + "," + CsvField(run.VersionAfter) + "," +
                   UtcTimeText(run.Start) + "," + UtcTimeText(run.End) + "," +
                   CsvField(Joined(lines)) + "\r\n";
        }
    }
    return out;
}

std::string SiteReportFor(const std::string& path, const std::vector<TSiteCameraResult>& results) {
    const std::string lower = platform::LowerAscii(path);
    const bool csv = lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".csv") == 0;
    return csv ? SiteReportCsv(results) : SiteReportJson(results);
}

int WriteSiteReport(const std::string& path, const std::vector<TSiteCameraResult>& results) {
    const std::string text = SiteReportFor(path, results);
    platform::TFile file = platform::TFile::CreateFreshBeside(path, ".report", 0644);
    if (!file.IsOpen()) {
        return file.OpenError();
    }
    int error = file.WriteAll(text.data(), text.size()).Error;
    if (error == 0) {
        error = file.Sync();
    }
    const int closed = file.Close();
    if (error == 0) {
        error = closed;
    }
    if (error == 0) {
        error = platform::ReplacePath(file.FreshPath(), path);
    }
    if (error != 0) {
        (void)platform::RemoveFile(file.FreshPath());
    }
    return error;
}

} // namespace torvane

// torvane-cli batch against a site of simulated cameras: every camera's log with its
// address in front, runs side by side, each package served once, one camera's failure
// kept from the others, the same-version policy, the report file, the summary, the exit
// status and the first Ctrl-C.

#include "support/E2eProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace test = torvane::test;
using torvane::test::RunToEnd;
using torvane::test::TChildStderr;
using torvane::test::TE2eCamsim;
using torvane::test::TE2eProcess;
using torvane::test::TE2eRun;
using torvane::test::TE2eRunFolder;

constexpr auto Stderr = TChildStderr::Inherited;

// How often camsim served each file, from its "served PATH COUNT" lines at the end.
std::map<std::string, int> ServedCounts(const std::string& output) {
    std::map<std::string, int> counts;
    const std::regex served(R"(served (\S+) (\d+))");
    for (std::sregex_iterator it(output.begin(), output.end(), served), end; it != end; ++it) {
        counts[(*it)[1]] = std::stoi((*it)[2]);
    }
    return counts;
}

// The lines of the output that begin with "ADDR:PORT ", time stamps taken off.
std::vector<std::string> CameraLines(const std::string& output, const std::string& camera) {
    std::vector<std::string> lines;
    const std::regex stamp(R"(^\S+ \d\d/\d\d/\d\d \d\d:\d\d:\d\d:)");
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (line.rfind(camera + " ", 0) == 0 && std::regex_search(line, m, stamp)) {
            lines.push_back(line.substr(m.length(0)));
        }
    }
    return lines;
}

// The summary row of a camera: its cells separated by two or more blanks.
std::vector<std::string> SummaryRow(const std::string& output, const std::string& camera) {
    std::istringstream in(output);
    std::string line;
    std::vector<std::string> cells;
    while (std::getline(in, line)) {
        if (line.rfind(camera + "  ", 0) == 0) {
            cells.clear();
            const std::regex gap(R"(\s{2,})");
            for (std::sregex_token_iterator it(line.begin(), line.end(), gap, -1), end; it != end;
                 ++it) {
                cells.push_back(*it);
            }
        }
    }
    return cells;
}

class TSite : public TE2eCamsim {
public:
    TSite(const std::vector<std::string>& cameras, const std::vector<std::string>& more = {})
        : TE2eCamsim(TORVANE_CAMSIM_PATH, Options(more), cameras, 30s, Stderr) {}

    static std::vector<std::string> Options(const std::vector<std::string>& more) {
        std::vector<std::string> options{"--server", "127.0.13.250:0", "--time-scale", "0.001",
                                         "--exit-after-ms", "300000"};
        options.insert(options.end(), more.begin(), more.end());
        return options;
    }
    // Stops camsim and gives what it printed after "ready".
    std::string StopAndOutput() {
        Stop(std::chrono::minutes(2));
        return LaterOutput();
    }
    // The CSV line of the camera on ip.
    std::string Row(const std::string& series, const std::string& ip,
                    const std::string& password = "135790") const {
        return series + "," + ip + "," + Port(ip) + "," + password + "\n";
    }
};

struct TBatch {
    int ExitStatus = -1;
    std::string Output;
};

TBatch RunBatch(const TSite& site, const std::string& list, const std::vector<std::string>& more,
                const std::string& name, const std::string& scale = "0.001") {
    const TE2eRunFolder folder("e2e_batch_" + name);
    EXPECT_TRUE(test::WriteWholeFile(folder.Path() + "/site.csv", list));
    std::vector<std::string> argv{TORVANE_CLI_PATH, "batch", "--cameras", folder.Path() + "/site.csv",
                                  "--server", site.Server(), "--broadcast", "127.0.0.1",
                                  "--lang", "en"};
    argv.insert(argv.end(), more.begin(), more.end());
    const TE2eRun run = RunToEnd(argv, 180s,
                                 {"TORVANE_CLI_TIME_SCALE=" + scale, "TMPDIR=" + folder.Path()},
                                 Stderr);
    return {run.ExitCode, run.Output};
}

// The lines of one run that installs offered on the camera (series at camera).
std::vector<std::string> Upgraded(bool system, const std::string& series, const std::string& camera,
                                  const std::string& current, const std::string& offered) {
    return test::EnglishUpgradeLines(std::string(system ? "System" : "UI") + " firmware of the " +
                                         series + " series camera at " + camera,
                                     current, offered);
}

std::vector<std::string> BothUpgraded(const std::string& series, const std::string& camera,
                                      const std::string& sys, const std::string& sysOffered,
                                      const std::string& ui, const std::string& uiOffered) {
    std::vector<std::string> lines = Upgraded(true, series, camera, sys, sysOffered);
    const auto more = Upgraded(false, series, camera, ui, uiOffered);
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TEST(E2eBatch, AMixedSiteInParallelWithOneDownloadPerPackageAndFailuresKeptApart) {
    // Four F cameras of one version family and two H cameras of one model share their
    // packages; an E and a T camera; and three that fail in three ways.
    TSite site({"series=F,ip=127.0.13.1-4,port=0,password=135790",
                "series=H,ip=127.0.13.5-6,port=0,password=135790,model=SITE-H",
                "series=E,ip=127.0.13.7,port=8120,password=135790",
                "series=T,ip=127.0.13.8,port=0,password=135790",
                "series=F,ip=127.0.13.9,port=0,password=135790,fault=refuse-login",
                "series=H,ip=127.0.13.10,port=0,password=135790,fault=unreachable",
                "series=F,ip=127.0.13.11,port=0,password=135790,fault=upload-500:sys"});
    ASSERT_TRUE(site.Ready()) << site.StartOutput();
    std::string list = "# the whole site\nseries,ip,port,password\n";
    for (int i = 1; i <= 4; ++i) {
        list += site.Row("F", "127.0.13." + std::to_string(i));
    }
    list += site.Row("H", "127.0.13.5") + site.Row("H", "127.0.13.6") +
            site.Row("E", "127.0.13.7") + site.Row("T", "127.0.13.8") +
            site.Row("F", "127.0.13.9") + "H,127.0.13.10,81,135790\n" +
            site.Row("F", "127.0.13.11");
    const TE2eRunFolder reports("e2e_batch_reports");
    const std::string report = reports.Path() + "/site.json";
    const TBatch batch = RunBatch(site, list, {"--parallel", "16", "--report", report}, "mixed");
    EXPECT_EQ(batch.ExitStatus, 1) << batch.Output;

    // The good cameras: the single upgrade's lines, in order, under their own address.
    for (int i = 1; i <= 4; ++i) {
        const std::string ip = "127.0.13." + std::to_string(i);
        EXPECT_EQ(CameraLines(batch.Output, ip + ":" + site.Port(ip)),
                  BothUpgraded("F", ip + ":" + site.Port(ip), "1.2.3.4", "1.2.3.5", "2.0.1.3",
                               "2.0.1.4"))
            << batch.Output;
        EXPECT_EQ(SummaryRow(batch.Output, ip + ":" + site.Port(ip)),
                  (std::vector<std::string>{ip + ":" + site.Port(ip), "F", "1.2.3.4", "1.2.3.5",
                                            "2.0.1.3", "2.0.1.4", "upgraded"}))
            << batch.Output;
    }
    for (const std::string ip : {"127.0.13.5", "127.0.13.6"}) {
        EXPECT_EQ(CameraLines(batch.Output, ip + ":" + site.Port(ip)),
                  BothUpgraded("H", ip + ":" + site.Port(ip), "V2.1.0.9", "V2.1.0.10", "3.1.0.5",
                               "3.1.0.6"))
            << batch.Output;
    }
    const auto e = SummaryRow(batch.Output, "127.0.13.7:8120");
    ASSERT_EQ(e.size(), 7u) << batch.Output;
    EXPECT_EQ(e[6], "upgraded") << batch.Output;
    // The T camera took both files; its system run is proved (the UI run's proof is the
    // single upgrade's business and is checked there).
    const std::string t = "127.0.13.8:" + site.Port("127.0.13.8");
    const auto tLines = CameraLines(batch.Output, t);
    ASSERT_GE(tLines.size(), 9u) << batch.Output;
    EXPECT_EQ(tLines[8], "The camera now runs version 48.2.0.131, the new firmware.")
        << batch.Output;
    EXPECT_EQ(test::CountEndingWith(tLines, "IP Cam is Working!"), 2) << batch.Output;
    // The failures, each with its own outcome, none stopping another camera.
    const std::string refusing = "127.0.13.9:" + site.Port("127.0.13.9");
    EXPECT_EQ(CameraLines(batch.Output, refusing),
              (std::vector<std::string>{"System firmware of the F series camera at " + refusing,
                                        "Login name or password is wrong!",
                                        "UI firmware of the F series camera at " + refusing,
                                        "Login name or password is wrong!"}))
        << batch.Output;
    const auto unreachable = CameraLines(batch.Output, "127.0.13.10:81");
    ASSERT_EQ(unreachable.size(), 4u) << batch.Output;
    EXPECT_EQ(SummaryRow(batch.Output, "127.0.13.10:81").back().rfind("failed: ", 0), 0u);
    const auto uploadRefused = CameraLines(batch.Output, "127.0.13.11:" + site.Port("127.0.13.11"));
    ASSERT_GE(uploadRefused.size(), 7u) << batch.Output;
    EXPECT_EQ(uploadRefused[6], "Upgrade failed:HTTP/1.1 500 Internal Server Error")
        << batch.Output;
    EXPECT_EQ(uploadRefused.back(), "The camera now runs version 2.0.1.4, the new firmware.")
        << "its UI run still ran";
    EXPECT_NE(batch.Output.find("11 cameras: "), std::string::npos) << batch.Output;
    EXPECT_NE(batch.Output.find(", 0 with nothing to install, "), std::string::npos);
    EXPECT_NE(batch.Output.find(" failed, 0 not started"), std::string::npos);

    // Every package the site needed went over the wire once.
    const std::string later = site.StopAndOutput();
    const auto served = ServedCounts(later);
    EXPECT_GE(served.size(), 6u) << later;
    for (const auto& [path, count] : served) {
        EXPECT_EQ(count, 1) << path << "\n" << later;
    }

    // The report: each camera with its runs, versions, times and log lines; no password.
    const std::string json = test::ReadWholeFile(report);
    EXPECT_EQ(json.find("135790"), std::string::npos);
    const std::string f1 = "\"camera\":\"127.0.13.1:" + site.Port("127.0.13.1") + "\"";
    const auto at = json.find(f1);
    ASSERT_NE(at, std::string::npos) << json;
    const std::string entry = json.substr(at, json.find("\n", at) - at);
    EXPECT_NE(entry.find("\"series\":\"F\",\"outcome\":\"upgraded\""), std::string::npos) << entry;
    EXPECT_NE(entry.find("{\"firmware\":\"system\",\"outcome\":\"IDS_NOWVERSION\","
                         "\"result\":\"upgraded\",\"version_before\":\"1.2.3.4\","
                         "\"version_offered\":\"1.2.3.5\",\"version_after\":\"1.2.3.5\""),
              std::string::npos)
        << entry;
    EXPECT_TRUE(std::regex_search(entry, std::regex(R"("start":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ")")))
        << entry;
    EXPECT_NE(entry.find("IP Cam is Working!\",\""), std::string::npos) << entry;
    EXPECT_TRUE(std::regex_search(json, std::regex(R"("summary":\{"cameras":11,"upgraded":[78],)"
                                                   R"("nothing_to_install":0,"failed":[34],)"
                                                   R"("not_started":0\})")))
        << json;
}

TEST(E2eBatch, SameVersionSkippedByDefaultOrReinstalledAndTheCsvReport) {
    TSite site({"series=F,ip=127.0.13.20,port=0,password=135790,offer-sys=1.2.3.4,offer-ui=2.0.1.3",
                "series=F,ip=127.0.13.21,port=0,password=135790,sys=1.2.4.5,offer-sys=1.2.4.5,"
                "ui=2.0.2.3,offer-ui=2.0.2.3"});
    ASSERT_TRUE(site.Ready()) << site.StartOutput();
    const std::string list =
        "series,ip,port,password\n" + site.Row("F", "127.0.13.20") + site.Row("F", "127.0.13.21");
    const TE2eRunFolder reports("e2e_batch_policy");

    // Skip: nothing installed, nothing downloaded, and that counts as done.
    const TBatch skip = RunBatch(site, list, {"--report", reports.Path() + "/skip.csv"}, "skip");
    EXPECT_EQ(skip.ExitStatus, 0) << skip.Output;
    const std::string a = "127.0.13.20:" + site.Port("127.0.13.20");
    const auto lines = CameraLines(skip.Output, a);
    ASSERT_EQ(lines.size(), 10u) << skip.Output;
    EXPECT_EQ(lines[4], "It is the latest one, there is no need to upgrade !") << skip.Output;
    EXPECT_EQ(SummaryRow(skip.Output, a).back(), "nothing to install") << skip.Output;
    const std::string csv = test::ReadWholeFile(reports.Path() + "/skip.csv");
    EXPECT_EQ(csv.rfind("address,port,series,camera_outcome,firmware,outcome,result,"
                        "version_before,version_offered,version_after,start,end,log\r\n", 0),
              0u)
        << csv;
    EXPECT_NE(csv.find("127.0.13.20," + site.Port("127.0.13.20") +
                       ",F,nothing-to-install,system,IDS_NOUPDATEFIRM,nothing-to-install,"
                       "1.2.3.4,1.2.3.4,"),
              std::string::npos)
        << csv;

    // Reinstall: the same versions go on again.
    const TBatch again = RunBatch(site, list, {"--same-version", "reinstall"}, "reinstall");
    EXPECT_EQ(again.ExitStatus, 0) << again.Output;
    EXPECT_EQ(CameraLines(again.Output, a),
              BothUpgraded("F", a, "1.2.3.4", "1.2.3.4", "2.0.1.3", "2.0.1.3"))
        << again.Output;
    EXPECT_EQ(SummaryRow(again.Output, a).back(), "upgraded") << again.Output;

    // --json: nothing but one object per line on standard output, each event with its
    // camera, a result per run, and the summary last.
    const TBatch json = RunBatch(site, list, {"--json", "--firmware", "system"}, "json");
    EXPECT_EQ(json.ExitStatus, 0) << json.Output;
    std::vector<std::string> objects;
    std::istringstream in(json.Output);
    for (std::string line; std::getline(in, line);) {
        objects.push_back(line);
    }
    ASSERT_GE(objects.size(), 3u) << json.Output;
    int results = 0;
    for (std::size_t i = 0; i + 1 < objects.size(); ++i) {
        EXPECT_TRUE(std::regex_match(objects[i],
                                     std::regex(R"re(\{"event":"(log|progress|result|notice)",)re"
                                                R"re("camera":"127\.0\.13\.2[01]:\d+",.*\})re")))
            << objects[i];
        results += objects[i].rfind("{\"event\":\"result\"", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(results, 2) << json.Output;
    EXPECT_EQ(objects.back().rfind("{\"event\":\"summary\",\"cameras\":2,\"upgraded\":0,"
                                   "\"nothing_to_install\":2,", 0),
              0u)
        << objects.back();
    // Skipped: the camera still runs what it ran.
    EXPECT_NE(objects.back().find("\"system_before\":\"1.2.4.5\",\"system_after\":\"1.2.4.5\""),
              std::string::npos)
        << objects.back();
}

TEST(E2eBatch, ABadListStartsNothingAndTheFirstCtrlCStartsNoNewCamera) {
    TSite site({"series=F,ip=127.0.13.30-32,port=0,password=135790,reboot-ms=300"});
    ASSERT_TRUE(site.Ready()) << site.StartOutput();
    const std::string list = "series,ip,port,password\n" + site.Row("F", "127.0.13.30") +
                             site.Row("F", "127.0.13.31") + site.Row("F", "127.0.13.32");

    // Line 3 of the list is bad: a usage error naming it, and no camera was spoken to.
    const TBatch bad = RunBatch(site, "series,ip,port,password\n" + site.Row("F", "127.0.13.30") +
                                          "F,127.0.13.31,99999,x\n",
                                {}, "bad");
    EXPECT_EQ(bad.ExitStatus, 2) << bad.Output;

    // One camera at a time; Ctrl-C once the first has begun: it finishes both its runs,
    // the other two never start, and the status says not every camera was done.
    const TE2eRunFolder folder("e2e_batch_sigint");
    EXPECT_TRUE(test::WriteWholeFile(folder.Path() + "/site.csv", list));
    TE2eProcess cli({TORVANE_CLI_PATH, "batch", "--cameras", folder.Path() + "/site.csv",
                     "--server", site.Server(), "--parallel", "1", "--lang", "en"},
                    {"TORVANE_CLI_TIME_SCALE=0.01", "TMPDIR=" + folder.Path()}, Stderr);
    const auto deadline = torvane::test::E2eDeadline(120s);
    const auto first = cli.ReadLine(deadline);
    ASSERT_TRUE(first.has_value());
    cli.Signal(SIGINT);
    const std::string rest = *first + "\n" + cli.ReadRest(deadline);
    EXPECT_EQ(cli.Wait(deadline), 1) << rest;
    const std::string a = "127.0.13.30:" + site.Port("127.0.13.30");
    EXPECT_EQ(CameraLines(rest, a), BothUpgraded("F", a, "1.2.3.4", "1.2.3.5", "2.0.1.3", "2.0.1.4"))
        << rest;
    EXPECT_EQ(SummaryRow(rest, "127.0.13.31:" + site.Port("127.0.13.31")).back(), "not started")
        << rest;
    EXPECT_TRUE(CameraLines(rest, "127.0.13.32:" + site.Port("127.0.13.32")).empty()) << rest;

    // Twice: the program ends by the signal without waiting for the camera's reboot.
    TE2eProcess twice({TORVANE_CLI_PATH, "batch", "--cameras", folder.Path() + "/site.csv",
                       "--server", site.Server(), "--parallel", "1", "--lang", "en"},
                      {"TORVANE_CLI_TIME_SCALE=0.2", "TMPDIR=" + folder.Path()},
                      TChildStderr::Merged);
    const auto deadline2 = torvane::test::E2eDeadline(60s);
    // After the upload's last line the camera reboots for 8 s (the 40 s wait, scaled).
    for (;;) {
        const auto line = twice.ReadLine(deadline2);
        ASSERT_TRUE(line.has_value());
        if (line->find("Successfully upgrade ROM") != std::string::npos) {
            break;
        }
    }
    const auto t0 = std::chrono::steady_clock::now();
    twice.Signal(SIGINT);
    // The second only once the first has been taken (two at once would count as one).
    for (;;) {
        const auto line = twice.ReadLine(deadline2);
        ASSERT_TRUE(line.has_value());
        if (line->find("stopping: no further camera starts") != std::string::npos) {
            break;
        }
    }
    twice.Signal(SIGINT);
    EXPECT_EQ(twice.Wait(deadline2), -1);
    EXPECT_EQ(twice.EndSignal(), SIGINT);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
}

} // namespace

// torvane-cli upgrade --json against simulated cameras of every series that take the new
// firmware, come back on their old version (keep-old) or show no version after the restart
// (hide-version): the last line of each run tells which, the JSON stream parses back (one
// object a line, the result last, the progress adding up), and the exit status follows.
// Also --series auto, and the plain log against the JSON log of the same kind of run.

#include "support/E2eProcess.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using torvane::test::E2eReadyTimeout;
using torvane::test::E2eRunTimeout;
using torvane::test::RunToEnd;
using torvane::test::TChildStderr;
using torvane::test::TE2eCamsim;
using torvane::test::TE2eRun;

// One flat JSON object: every value as its text (strings unescaped, numbers and true/false
// as written). Nothing when the line is not exactly one such object.
using TObject = std::map<std::string, std::string>;

std::optional<TObject> ParseObject(const std::string& line) {
    std::size_t i = 0;
    auto blank = [&] {
        while (i < line.size() && line[i] == ' ') {
            ++i;
        }
    };
    auto string = [&](std::string& out) -> bool {
        if (i >= line.size() || line[i] != '"') {
            return false;
        }
        for (++i; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                ++i;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false; // a control character must be escaped
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++i >= line.size()) {
                return false;
            }
            switch (line[i]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u':
                if (i + 4 >= line.size()) {
                    return false;
                }
                out += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16) & 0xFF);
                i += 4;
                break;
            default:
                return false;
            }
        }
        return false;
    };
    TObject object;
    blank();
    if (i >= line.size() || line[i++] != '{') {
        return std::nullopt;
    }
    for (bool first = true;; first = false) {
        blank();
        if (first && i < line.size() && line[i] == '}') {
            ++i;
            break;
        }
        std::string key;
        std::string value;
        if (!string(key)) {
            return std::nullopt;
        }
        blank();
        if (i >= line.size() || line[i++] != ':') {
            return std::nullopt;
        }
        blank();
        if (i < line.size() && line[i] == '"') {
            if (!string(value)) {
                return std::nullopt;
            }
        } else {
            const std::size_t end = line.find_first_of(",}", i);
            if (end == std::string::npos || end == i) {
                return std::nullopt;
            }
            value = line.substr(i, end - i);
            i = end;
        }
        if (object.count(key) != 0) {
            return std::nullopt;
        }
        object[key] = value;
        blank();
        if (i < line.size() && line[i] == ',') {
            ++i;
            continue;
        }
        if (i < line.size() && line[i] == '}') {
            ++i;
            break;
        }
        return std::nullopt;
    }
    blank();
    return i == line.size() ? std::optional<TObject>(object) : std::nullopt;
}

struct TCamera {
    std::string Series;
    std::string Ip;
    std::string Password;
};

class ProofE2E : public ::testing::Test {
protected:
    // Starts camsim with the cameras; false when a search port is taken on this machine (a
    // failure when camsim does not start at all).
    bool Start(const std::vector<std::string>& cameras) {
        FSim = std::make_unique<TE2eCamsim>(
            TORVANE_CAMSIM_PATH,
            std::vector<std::string>{"--server", "127.0.17.100:0", "--time-scale", "0.001",
                                     "--exit-after-ms", "300000"},
            cameras, E2eReadyTimeout);
        for (const char* search : {"CTP search 127.0.0.1:7999", "T search 127.0.0.1:8600",
                                   "MO_I search 127.0.0.1:10000"}) {
            if (FSim->StartOutput().find(search) != std::string::npos) {
                return false;
            }
        }
        EXPECT_TRUE(FSim->Ready() && !FSim->Server().empty()) << FSim->StartOutput();
        return true;
    }

    TE2eRun Cli(const TCamera& camera, const std::vector<std::string>& more,
                TChildStderr stderrMode = TChildStderr::Inherited) {
        std::vector<std::string> argv{TORVANE_CLI_PATH, "upgrade",      "--series",
                                      camera.Series,    "--ip",         camera.Ip,
                                      "--port",         FSim->Port(camera.Ip),
                                      "--password",     camera.Password,
                                      "--server",       FSim->Server(), "--broadcast",
                                      "127.0.0.1",      "--lang",       "en"};
        argv.insert(argv.end(), more.begin(), more.end());
        return RunToEnd(argv, E2eRunTimeout, {"TORVANE_CLI_TIME_SCALE=0.001"}, stderrMode);
    }

    // The objects of a JSON run; a failure for every line that is not one.
    static std::vector<TObject> Objects(const TE2eRun& run) {
        std::vector<TObject> objects;
        for (const std::string& line : run.Lines) {
            const std::optional<TObject> object = ParseObject(line);
            EXPECT_TRUE(object.has_value()) << "not one JSON object: " << line;
            if (object) {
                objects.push_back(*object);
            }
        }
        return objects;
    }

    // The checks every JSON run of one firmware passes: the result last, and the progress
    // of download, upload and reboot wait ending at their totals.
    static TObject CheckStream(const TE2eRun& run, const std::string& firmware) {
        const std::vector<TObject> objects = Objects(run);
        EXPECT_FALSE(objects.empty()) << run.Output;
        if (objects.empty()) {
            return {};
        }
        std::map<std::string, TObject> lastProgress;
        for (std::size_t k = 0; k < objects.size(); ++k) {
            const TObject& o = objects[k];
            EXPECT_EQ(o.at("firmware"), firmware) << run.Output;
            const std::string& event = o.at("event");
            EXPECT_TRUE(event == "log" || event == "progress" || event == "result") << event;
            EXPECT_EQ(event == "result", k + 1 == objects.size()) << "the result comes last";
            if (event == "log") {
                EXPECT_EQ(o.at("key").rfind("IDS_", 0), 0u) << o.at("text");
            }
            if (event == "progress") {
                const std::string& step = o.at("step");
                const unsigned long long done = std::stoull(o.at("done"));
                const unsigned long long total = std::stoull(o.at("total"));
                if (total > 0) {
                    EXPECT_LE(done, total) << step;
                }
                // Within one pass of a step done never falls; a step may come again once it
                // has ended (the E series waits for its restart itself, then the run does).
                if (lastProgress.count(step) != 0 && step != "poll" &&
                    lastProgress[step].at("done") != lastProgress[step].at("total")) {
                    EXPECT_GE(done, std::stoull(lastProgress[step].at("done"))) << step;
                }
                lastProgress[step] = o;
            }
        }
        const TObject& result = objects.back();
        if (result.count("installed") != 0 && result.at("installed") == "true") {
            for (const char* step : {"download", "upload", "reboot"}) {
                SCOPED_TRACE(step);
                EXPECT_EQ(lastProgress.count(step), 1u) << run.Output;
                if (lastProgress.count(step) == 0) {
                    continue;
                }
                const TObject& last = lastProgress[step];
                EXPECT_NE(last.at("total"), "0");
                EXPECT_EQ(last.at("done"), last.at("total")) << run.Output;
            }
            EXPECT_EQ(lastProgress["reboot"].at("total"), "40");
        }
        return result;
    }

    std::unique_ptr<TE2eCamsim> FSim;
};

TEST_F(ProofE2E, EverySeriesProvesWhatItRunsAfterTheRestart) {
    // Per series: one that takes the firmware, one that keeps its old version, one that
    // hides its version once restarted.
    const std::map<std::string, std::string> base = {
        {"E", "port=8120,password=secret,oem=EVN"},
        {"F", "port=0,password=135790"},
        {"H", "port=0,password=135790"},
        {"T", "port=8081,password=135790,oem=TVN"}};
    std::vector<std::string> cameraArgs;
    std::vector<std::pair<TCamera, std::string>> cameras; // camera, fault
    int n = 1;
    for (const auto& [series, rest] : base) {
        for (const std::string fault : {"", "keep-old", "hide-version"}) {
            const std::string ip = "127.0.17." + std::to_string(n++);
            cameraArgs.push_back("series=" + series + ",ip=" + ip + "," + rest +
                            (fault.empty() ? "" : ",fault=" + fault));
            cameras.push_back({{series, ip, series == "E" ? "secret" : "135790"}, fault});
        }
    }
    if (!Start(cameraArgs)) {
        GTEST_SKIP() << "a search port of the simulator is taken here";
    }

    for (const auto& [camera, fault] : cameras) {
        SCOPED_TRACE(camera.Series + " " + camera.Ip + " " + fault);
        const TE2eRun run = Cli(camera, {"--json", "--firmware", "system"});
        const TObject result = CheckStream(run, "system");
        ASSERT_FALSE(result.empty());
        EXPECT_EQ(result.at("series"), camera.Series);
        EXPECT_FALSE(result.at("version_before").empty());
        EXPECT_FALSE(result.at("version_offered").empty());
        if (fault.empty()) {
            EXPECT_EQ(run.ExitCode, 0) << run.Output;
            EXPECT_EQ(result.at("outcome"), "IDS_NOWVERSION") << run.Output;
            EXPECT_EQ(result.at("installed"), "true");
            EXPECT_EQ(result.at("status"), "installed");
            EXPECT_EQ(result.at("text"),
                      "The camera now runs version " + result.at("version_offered") +
                          ", the new firmware.");
        } else if (fault == "keep-old") {
            EXPECT_EQ(run.ExitCode, 1) << run.Output;
            EXPECT_EQ(result.at("outcome"), "IDS_OLDVERSION") << run.Output;
            EXPECT_EQ(result.at("installed"), "false");
            EXPECT_EQ(result.at("working"), "true");
            EXPECT_EQ(result.at("status"), "failed");
            EXPECT_EQ(result.at("text").rfind("Warning: the camera came back still running version ", 0),
                      0u)
                << result.at("text");
        } else {
            EXPECT_EQ(run.ExitCode, 1) << run.Output;
            EXPECT_EQ(result.at("outcome"), "IDS_AFTERVERSIONERR") << run.Output;
            EXPECT_EQ(result.at("version_after"), "");
        }
    }

    // The plain log of a run is the JSON log's texts after the time stamps. The camera now
    // runs the offered version: the same-version question gets No without a terminal, so
    // nothing is installed and nothing fails: status 3.
    const TCamera& f = cameras[3].first; // F, the one that took its firmware
    ASSERT_EQ(f.Series, "F");
    const TE2eRun json = Cli(f, {"--json", "--firmware", "system"});
    EXPECT_EQ(json.ExitCode, 3) << json.Output;
    const TObject declined = CheckStream(json, "system");
    EXPECT_EQ(declined.at("outcome"), "IDS_NOUPDATEFIRM");
    EXPECT_EQ(declined.at("status"), "nothing-to-install");
    const TE2eRun plain = Cli(f, {"--firmware", "system"});
    EXPECT_EQ(plain.ExitCode, 3) << plain.Output;
    std::vector<std::string> jsonTexts;
    for (const TObject& o : Objects(json)) {
        if (o.at("event") == "log") {
            jsonTexts.push_back(o.at("text"));
        }
    }
    std::vector<std::string> plainTexts;
    for (const std::string& line : plain.Lines) {
        const std::size_t colon = line.find(':', line.find(' ') + 1);
        // "date time:text": the time has two colons of its own
        const std::size_t third = line.find(':', line.find(':', colon + 1) + 1);
        plainTexts.push_back(line.substr(third + 1));
    }
    EXPECT_EQ(plainTexts, jsonTexts) << plain.Output;
    // Standard output keeps the log alone: no progress line there.
    EXPECT_EQ(plain.Output.find('\r'), std::string::npos);
}

TEST_F(ProofE2E, SeriesAutoTakesTheSeriesThatAnswersFromTheAddress) {
    if (!Start({"series=H,ip=127.0.17.40,port=0,password=135790",
                "series=F,ip=127.0.17.41,port=0,password=135790,fault=upload-500"})) {
        GTEST_SKIP() << "a search port of the simulator is taken here";
    }
    const TE2eRun found =
        Cli({"auto", "127.0.17.40", "135790"}, {"--firmware", "system"}, TChildStderr::Merged);
    EXPECT_EQ(found.ExitCode, 0) << found.Output;
    EXPECT_NE(found.Output.find("torvane-cli: the camera at 127.0.17.40 answered the search as "
                                "a camera of the H series"),
              std::string::npos)
        << found.Output;
    EXPECT_NE(found.Output.find(":System firmware of the H series camera at 127.0.17.40:"),
              std::string::npos)
        << found.Output;

    // A camera that fails: status 1.
    const TE2eRun failed =
        Cli({"auto", "127.0.17.41", "135790"}, {"--firmware", "system"}, TChildStderr::Merged);
    EXPECT_EQ(failed.ExitCode, 1) << failed.Output;

    // Nobody answers from this address: a usage error, nothing sent.
    TE2eRun none = RunToEnd({TORVANE_CLI_PATH, "upgrade", "--series", "auto", "--ip",
                             "127.0.17.99", "--broadcast", "127.0.0.1", "--server",
                             FSim->Server(), "--lang", "en"},
                            E2eRunTimeout, {"TORVANE_CLI_TIME_SCALE=0.001"});
    EXPECT_EQ(none.ExitCode, 2) << none.Output;
    EXPECT_NE(none.Output.find("no camera at 127.0.17.99 answered the search (broadcast "
                               "address 127.0.0.1)"),
              std::string::npos)
        << none.Output;
}

} // namespace

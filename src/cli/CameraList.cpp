#include "cli/CameraList.h"

#include "cli/Checks.h"
#include "platform/File.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <array>
#include <map>
#include <optional>

namespace torvane::cli {

namespace {

const std::array<const char*, 5> Columns = {"series", "ip", "port", "user", "password"};
const std::array<const char*, 3> RequiredColumns = {"series", "ip", "port"};

// The fields of one line, or nothing when a quoted field is not closed.
std::optional<std::vector<std::string>> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;     // inside quotes
    bool wasQuoted = false;  // the field began with a quote
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == ',') {
            fields.push_back(wasQuoted ? field : platform::Trim(field));
            field.clear();
            wasQuoted = false;
        } else if (c == '"' && platform::Trim(field).empty() && !wasQuoted) {
            field.clear();
            quoted = true;
            wasQuoted = true;
        } else {
            field += c;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    fields.push_back(wasQuoted ? field : platform::Trim(field));
    return fields;
}

TMessage AtLine(const std::string& fileName, std::size_t line, const TMessage& what) {
    return {"IDS_CLI_CSV_LINE", {fileName, std::to_string(line), Text(what)}};
}

} // namespace

std::variant<std::vector<TSiteCamera>, TMessage>
ParseCameraList(const std::string& text, const std::string& fileName,
                const TCameraListDefaults& defaults) {
    std::vector<TSiteCamera> cameras;
    std::map<std::string, std::size_t> column; // name -> index
    bool haveHeader = false;
    std::map<std::string, std::size_t> firstLineOf; // camera name -> line
    const TValueCheck checkSeries = CheckOneOf({"E", "F", "H", "T"}, true);
    const TValueCheck checkHost = CheckHost();
    const TValueCheck checkPort = CheckWholeNumber(1, 65535);

    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (lineNumber == 1 && platform::StartsWith(line, "\xEF\xBB\xBF")) {
            line.erase(0, 3); // a byte-order mark that spreadsheet programs write
        }
        const std::string trimmed = platform::Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') {
            continue;
        }
        const std::optional<std::vector<std::string>> fields = SplitFields(line);
        if (!fields) {
            return AtLine(fileName, lineNumber, {"IDS_CLI_CSV_QUOTE", {}});
        }
        if (!haveHeader) {
            for (std::size_t i = 0; i < fields->size(); ++i) {
                const std::string name = platform::LowerAscii((*fields)[i]);
                if (std::find(Columns.begin(), Columns.end(), name) == Columns.end()) {
                    return AtLine(fileName, lineNumber,
                                  {"IDS_CLI_CSV_BADCOLUMN", {(*fields)[i],
                                                             "series, ip, port, user, password"}});
                }
                if (!column.emplace(name, i).second) {
                    return AtLine(fileName, lineNumber, {"IDS_CLI_CSV_COLUMNTWICE", {name}});
                }
            }
            for (const char* required : RequiredColumns) {
                if (column.count(required) == 0) {
                    return AtLine(fileName, lineNumber, {"IDS_CLI_CSV_NOCOLUMN", {required}});
                }
            }
            haveHeader = true;
            continue;
        }
        if (fields->size() != column.size()) {
            return AtLine(fileName, lineNumber,
                          {"IDS_CLI_CSV_FIELDCOUNT",
                           {std::to_string(fields->size()), std::to_string(column.size())}});
        }
        const auto field = [&](const char* name) -> std::string {
            const auto it = column.find(name);
            return it == column.end() ? std::string() : (*fields)[it->second];
        };
        std::string series = field("series");
        std::string ip = field("ip");
        std::string port = field("port");
        if (auto bad = checkSeries("series", series)) {
            return AtLine(fileName, lineNumber, *bad);
        }
        if (auto bad = checkHost("ip", ip)) {
            return AtLine(fileName, lineNumber, *bad);
        }
        if (auto bad = checkPort("port", port)) {
            return AtLine(fileName, lineNumber, *bad);
        }
        TSiteCamera camera;
        camera.SeriesIndex = static_cast<int>(std::string("EFHT").find(series[0]));
        camera.Address = ip;
        camera.Port = std::stoi(port);
        camera.User = field("user").empty() ? defaults.User : field("user");
        camera.Password = field("password").empty() ? defaults.Password : field("password");
        const auto [first, added] = firstLineOf.emplace(camera.Name(), lineNumber);
        if (!added) {
            return AtLine(fileName, lineNumber,
                          {"IDS_CLI_CSV_TWICE", {camera.Name(), std::to_string(first->second)}});
        }
        cameras.push_back(std::move(camera));
    }
    if (!haveHeader) {
        return TMessage{"IDS_CLI_CSV_NOHEADER", {fileName}};
    }
    if (cameras.empty()) {
        return TMessage{"IDS_CLI_CSV_NOCAMERA", {fileName}};
    }
    return cameras;
}

std::variant<std::vector<TSiteCamera>, TMessage>
ReadCameraList(const std::string& path, const TCameraListDefaults& defaults) {
    // A camera list is small; anything far larger is no camera list.
    constexpr std::size_t MaxBytes = 16u << 20;
    platform::TFile file = platform::TFile::OpenPlainForReading(path);
    if (!file.IsOpen()) {
        return TMessage{"IDS_CLI_CSV_READ", {path, platform::ErrorText(file.OpenError())}};
    }
    const platform::TFileInfo info = file.Info();
    if (info.Error != 0 || !info.Regular) {
        return TMessage{"IDS_CLI_CSV_READ",
                        {path, platform::ErrorText(info.Error != 0 ? info.Error : EINVAL)}};
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const platform::TIoResult r = file.Read(buffer, sizeof buffer);
        if (!r.Ok()) {
            return TMessage{"IDS_CLI_CSV_READ", {path, platform::ErrorText(r.Error)}};
        }
        if (r.Count == 0) {
            break;
        }
        text.append(buffer, r.Count);
        if (text.size() > MaxBytes) {
            return TMessage{"IDS_CLI_CSV_READ", {path, platform::ErrorText(EFBIG)}};
        }
    }
    return ParseCameraList(text, path, defaults);
}

} // namespace torvane::cli

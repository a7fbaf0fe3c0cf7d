#include "Options.h"

#include "Error.h"
#include "Loopback.h"
#include "Text.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace camsim {

namespace {

bool ParseFlag(const std::string& value, const std::string& origin, const std::string& key) {
    const std::string lower = ToLower(value);
    if (lower == "" || lower == "yes" || lower == "true" || lower == "1" || lower == "on") {
        return true;
    }
    if (lower == "no" || lower == "false" || lower == "0" || lower == "off") {
        return false;
    }
    throw TUsageError(origin + ": " + key + ": \"" + value + "\" is not yes or no");
}

long long ParseMilliseconds(const std::string& value, const std::string& origin,
                            const std::string& key) {
    unsigned long long number = 0;
    if (!ParseUnsigned(value, 86'400'000, number)) {
        throw TUsageError(origin + ": " + key + ": \"" + value +
                          "\" is not a time in milliseconds (0 to 86400000)");
    }
    return static_cast<long long>(number);
}

TCameraConfig ParseCameraKeys(const std::string& keys, const std::string& origin) {
    TCameraConfig camera;
    camera.Origin = origin;
    for (const std::string& piece : Split(keys, ',')) {
        const std::size_t equals = piece.find('=');
        if (equals == std::string::npos) {
            throw TUsageError(origin + ": \"" + piece + "\" is not KEY=VALUE");
        }
        ApplyCameraKey(camera, Trim(piece.substr(0, equals)), Trim(piece.substr(equals + 1)));
    }
    return camera;
}

// One global setting, from "--key value" or a "key = value" line of the config file.
void ApplyGlobal(TSimSettings& settings, const std::string& key, const std::string& value,
                 const std::string& origin) {
    if (key == "camera") {
        settings.Cameras.push_back(ParseCameraKeys(value, origin));
    } else if (key == "server") {
        if (value == "none") {
            settings.ServerEnabled = false;
            return;
        }
        const std::size_t colon = value.rfind(':');
        unsigned long long port = 0;
        if (colon == std::string::npos || !ParseUnsigned(value.substr(colon + 1), 65535, port)) {
            throw TUsageError(origin + ": server: \"" + value +
                              "\" is not ADDRESS:PORT such as 127.0.0.1:8300");
        }
        (void)TLoopbackEndpoint::Parse(value.substr(0, colon), 0, "firmware server address");
        settings.ServerEnabled = true;
        settings.ServerAddress = value.substr(0, colon);
        settings.ServerPort = static_cast<std::uint16_t>(port);
    } else if (key == "no-server") {
        settings.ServerEnabled = !ParseFlag(value, origin, key);
    } else if (key == "reboot-ms") {
        settings.RebootMs = ParseMilliseconds(value, origin, key);
    } else if (key == "exit-after-ms") {
        settings.ExitAfterMs = ParseMilliseconds(value, origin, key);
    } else if (key == "time-scale") {
        char* end = nullptr;
        const double scale = std::strtod(value.c_str(), &end);
        if (value.empty() || end != value.c_str() + value.size() || !std::isfinite(scale) ||
            scale < 0 || scale > 1000) {
            throw TUsageError(origin + ": time-scale: \"" + value +
                              "\" is not a factor from 0 to 1000");
        }
        settings.TimeScale = scale;
    } else if (key == "firmware-size") {
        unsigned long long size = 0;
        if (!ParseUnsigned(value, 64ULL * 1024 * 1024, size)) {
            throw TUsageError(origin + ": firmware-size: \"" + value +
                              "\" is not a size in bytes (at most 64 MiB)");
        }
        settings.FirmwareSize = static_cast<std::size_t>(size);
    } else if (key == "firmware-folder") {
        if (value.empty()) {
            throw TUsageError(origin + ": firmware-folder: give a folder");
        }
        settings.FirmwareFolder = value;
    } else if (key == "verbose") {
        settings.Verbose = ParseFlag(value, origin, key);
    } else {
        throw TUsageError(origin + ": unknown setting \"" + key + "\" (see --help)");
    }
}

bool IsFlag(const std::string& key) {
    return key == "no-server" || key == "verbose" || key == "help";
}

bool IsOption(const std::string& key) {
    for (const char* known : {"camera", "config", "server", "no-server", "reboot-ms",
                              "time-scale", "exit-after-ms", "firmware-size", "firmware-folder",
                              "verbose"}) {
        if (key == known) {
            return true;
        }
    }
    return false;
}

} // namespace

void LoadConfigFile(const std::string& path, TSimSettings& settings) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw TUsageError("cannot read the config file " + path);
    }
    std::string line;
    int number = 0;
    TCameraConfig* camera = nullptr;
    while (std::getline(file, line)) {
        ++number;
        const std::string origin = path + ":" + std::to_string(number);
        const std::string text = Trim(line);
        if (text.empty() || text[0] == '#' || text[0] == ';') {
            continue;
        }
        if (text.front() == '[' && text.back() == ']') {
            const std::string section = ToLower(Trim(text.substr(1, text.size() - 2)));
            if (section == "camera") {
                settings.Cameras.emplace_back();
                camera = &settings.Cameras.back();
                camera->Origin = origin + " [camera]";
            } else if (section == "global") {
                camera = nullptr;
            } else {
                throw TUsageError(origin + ": unknown section [" + section +
                                  "] (known: [global], [camera])");
            }
            continue;
        }
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos) {
            throw TUsageError(origin + ": \"" + text + "\" is not KEY = VALUE");
        }
        const std::string key = ToLower(Trim(text.substr(0, equals)));
        const std::string value = Trim(text.substr(equals + 1));
        if (camera != nullptr) {
            ApplyCameraKey(*camera, key, value);
        } else {
            ApplyGlobal(settings, key, value, origin);
        }
    }
}

TSimSettings ParseOptions(const std::vector<std::string>& arguments) {
    TSimSettings settings;
    // The config file first, wherever --config stands, so the command line wins.
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--config" && i + 1 < arguments.size()) {
            LoadConfigFile(arguments[i + 1], settings);
        } else if (StartsWith(arguments[i], "--config=")) {
            LoadConfigFile(arguments[i].substr(9), settings);
        }
    }
    int cameraCount = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h") {
            settings.Help = true;
            continue;
        }
        if (!StartsWith(argument, "--") || argument.size() == 2) {
            throw TUsageError("unexpected argument \"" + argument + "\" (see --help)");
        }
        std::string key = argument.substr(2);
        std::optional<std::string> value;
        if (const std::size_t equals = key.find('='); equals != std::string::npos) {
            value = key.substr(equals + 1);
            key = key.substr(0, equals);
        }
        if (key == "help") {
            settings.Help = true;
            continue;
        }
        if (!IsOption(key)) {
            throw TUsageError("unknown option --" + key + " (see --help)");
        }
        if (!value && !IsFlag(key)) {
            if (i + 1 >= arguments.size()) {
                throw TUsageError("--" + key + " needs a value (see --help)");
            }
            value = arguments[++i];
        }
        if (key == "config") {
            continue; // read above
        }
        const std::string origin =
            key == "camera" ? "--camera #" + std::to_string(++cameraCount) : "--" + key;
        ApplyGlobal(settings, key, value.value_or(""), origin);
    }
    ExpandAddressRanges(settings.Cameras);
    return settings;
}

} // namespace camsim

#include "CameraConfig.h"

#include "Error.h"
#include "Loopback.h"
#include "Text.h"
#include "Version.h"

#include <arpa/inet.h>

namespace camsim {

namespace {

[[noreturn]] void Bad(const TCameraConfig& camera, const std::string& key,
                      const std::string& why) {
    throw TUsageError(camera.Origin + ": " + key + ": " + why);
}

bool IsPrintable(const std::string& text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

std::string PlainToken(const TCameraConfig& camera, const std::string& key,
                       const std::string& value, bool emptyAllowed) {
    if (value.empty() && !emptyAllowed) {
        Bad(camera, key, "must not be empty");
    }
    if (!IsPlainToken(value)) {
        Bad(camera, key, "\"" + value + "\" may hold only letters, digits and . _ -");
    }
    return value;
}

} // namespace

void ApplyCameraKey(TCameraConfig& camera, const std::string& key, const std::string& value) {
    unsigned long long number = 0;
    if (key == "series") {
        const std::string letter = ToLower(value);
        if (letter.size() != 1 || letter[0] < 'a' || letter[0] > 'z') {
            Bad(camera, key, "\"" + value + "\" is not a series letter");
        }
        camera.Series = std::string(1, static_cast<char>(letter[0] - 'a' + 'A'));
    } else if (key == "ip") {
        // "127.0.0.10-127.0.0.41" or "127.0.0.10-41": one camera per address.
        const std::size_t dash = value.find('-');
        const std::string first = Trim(value.substr(0, dash));
        (void)TLoopbackEndpoint::Parse(first, 0, camera.Origin + ": camera address");
        camera.Ip = first;
        camera.IpLast.clear();
        if (dash != std::string::npos) {
            std::string last = Trim(value.substr(dash + 1));
            if (last.find('.') == std::string::npos) {
                last = first.substr(0, first.rfind('.') + 1) + last;
            }
            (void)TLoopbackEndpoint::Parse(last, 0, camera.Origin + ": last camera address");
            camera.IpLast = last;
        }
    } else if (key == "port") {
        if (!ParseUnsigned(value, 65535, number)) {
            Bad(camera, key, "\"" + value + "\" is not a port (0 to 65535)");
        }
        camera.Port = static_cast<std::uint16_t>(number);
    } else if (key == "user" || key == "password") {
        // Stored the way the upgrade tool sends them: it lower-cases and trims what the
        // user typed, so a camera with "Admin" would be unreachable by it.
        const std::string stored = ToLower(Trim(value));
        if (!IsPrintable(stored) || (key == "user" && stored.find(':') != std::string::npos)) {
            Bad(camera, key, "must be printable ASCII" +
                                 std::string(key == "user" ? " without \":\"" : ""));
        }
        (key == "user" ? camera.User : camera.Password) = stored;
    } else if (key == "oem") {
        camera.Oem = PlainToken(camera, key, value, false);
    } else if (key == "model") {
        camera.Model = PlainToken(camera, key, value, true);
    } else if (key == "sys") {
        camera.SysVersion = PlainToken(camera, key, value, false);
    } else if (key == "ui") {
        camera.UiVersion = PlainToken(camera, key, value, false);
    } else if (key == "offer-sys" || key == "offer-ui") {
        const std::string offer =
            value == "none" ? std::string() : PlainToken(camera, key, value, false);
        (key == "offer-sys" ? camera.OfferSys : camera.OfferUi) = offer;
    } else if (key == "reboot-ms") {
        if (!ParseUnsigned(value, 86'400'000, number)) {
            Bad(camera, key, "\"" + value + "\" is not a time in milliseconds");
        }
        camera.RebootMs = static_cast<long long>(number);
    } else if (key == "fault" || key == "faults") {
        for (const std::string& fault : Split(value, '+')) {
            try {
                camera.Faults.Add(Trim(fault));
            } catch (const TUsageError& error) {
                Bad(camera, key, error.what());
            }
        }
    } else {
        Bad(camera, key, "unknown camera key (known: series ip port user password oem model "
                         "sys ui offer-sys offer-ui reboot-ms fault)");
    }
}

namespace {

std::uint32_t AddressNumber(const std::string& address) {
    return ntohl(TLoopbackEndpoint::Parse(address, 0, "camera address").SocketAddress().sin_addr.s_addr);
}

std::string AddressText(std::uint32_t number) {
    return std::to_string(number >> 24) + "." + std::to_string((number >> 16) & 0xFF) + "." +
           std::to_string((number >> 8) & 0xFF) + "." + std::to_string(number & 0xFF);
}

} // namespace

void ExpandAddressRanges(std::vector<TCameraConfig>& cameras) {
    std::vector<TCameraConfig> expanded;
    for (const TCameraConfig& camera : cameras) {
        if (camera.IpLast.empty()) {
            expanded.push_back(camera);
            continue;
        }
        const std::uint32_t first = AddressNumber(camera.Ip);
        const std::uint32_t last = AddressNumber(camera.IpLast);
        if (last < first || last - first >= MaxRangeCameras) {
            throw TUsageError(camera.Origin + ": ip: " + camera.Ip + "-" + camera.IpLast +
                              " must run upwards and hold at most " +
                              std::to_string(MaxRangeCameras) + " addresses");
        }
        for (std::uint32_t n = first;; ++n) {
            TCameraConfig one = camera;
            one.Ip = AddressText(n);
            one.IpLast.clear();
            one.Origin = camera.Origin + " (" + one.Ip + ")";
            expanded.push_back(std::move(one));
            if (n == last) {
                break;
            }
        }
    }
    cameras = std::move(expanded);
}

const char* CameraKeysHelp() {
    return R"(Camera keys (in --camera KEY=VALUE,KEY=VALUE,... or in a [camera] section):
  series=E|F|H|T    camera series (required)
  ip=127.0.0.x      address to listen on (required; loopback only); a range
                    "ip=127.0.0.10-127.0.0.41" (or "ip=127.0.0.10-41") makes one camera
                    per address, all alike
  port=N            HTTP port (default 80; 0 picks a free port, shown at start)
  user=NAME         account (default admin)         } stored lower-case and trimmed,
  password=TEXT     password (default empty)        } as the upgrade tool sends them
  oem=NAME          body of /oem.txt (default ABC); its lower-case form names the
                    UI catalogue folder on the firmware server
  model=NAME        app_model in /appver.js (default empty); when set, it names the
                    camera's catalogue sections (H and T series)
  sys=VERSION       system version (F default 1.2.3.4, H default V2.1.0.9,
                    T default 48.2.0.130)
  ui=VERSION        UI version (F default 2.0.1.3, H default 3.1.0.5, T default 3.1.0.5)
  offer-sys=VERSION system version the firmware server offers (default: the next
                    version, last number + 1); "none" offers nothing
  offer-ui=VERSION  UI version offered, likewise
  reboot-ms=MS      how long the camera is down after an upload (default --reboot-ms)
  fault=NAME        switch a fault on; repeat the key or join names with "+":
    refuse-login    every authenticated page (and the F upload) answers 401 Unauthorized
    unreachable     the camera never listens
    upload-500      the upload answers 500 Internal Server Error
    no-return       after an accepted upload the camera goes down and stays down
    bad-md5         the catalogue's MD5 for the camera's package is wrong
    bad-zip         the package is not a ZIP archive (its MD5 in the catalogue is right)
    excluded        the catalogue's NO value lists the version the camera runs
    upload-trickle  the upload's reply (F, H, T) begins and then comes one byte every
                    20 ms without ever ending; the camera stays as it was
    ctp-byte-by-byte  E: every CTP answer and reply goes out one byte per TCP segment
    ctp-progress    E: "Progress: 50" follows each "REPLY Continue" line in the same send
    ctp-mute-login  E: the CTP login is read and never answered
    upload-500, upload-trickle, bad-md5, bad-zip and excluded take ":sys" or ":ui" to hit
    one kind only.
)";
}

} // namespace camsim

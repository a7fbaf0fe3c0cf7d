#include "Help.h"

#include "Camera.h"
#include "CameraConfig.h"
#include "CameraRegistry.h"

namespace camsim {

std::string HelpText() {
    std::string series;
    for (const TSeriesInfo* info : TCameraRegistry::Instance().All()) {
        series += "  " + info->Letter + "  " + info->Summary + "\n";
    }
    return std::string(R"(Usage: torvane-camsim [options]

Simulated IP cameras and a firmware server, on loopback addresses only, for trying the
upgrade tool and for its end-to-end tests. Each camera serves its login, status, version
and upload pages over HTTP; after an accepted upload it restarts (refuses connections
for its reboot time) and comes back running the uploaded version. The firmware server
serves the catalogues and ZIP packages that fit the simulated cameras.

Options:
  --camera KEYS        add a camera; KEYS is KEY=VALUE,KEY=VALUE,... (keys below)
  --config FILE        read settings and cameras from FILE (format below); the file's
                       cameras come first, the command line overrides its settings
  --server ADDR:PORT   firmware server address (default 127.0.0.1:8300; port 0 picks a
                       free one); "none" runs no firmware server
  --no-server          run no firmware server
  --reboot-ms MS       reboot time of cameras without their own (default 20000)
  --time-scale FACTOR  multiply every reboot time by FACTOR (e.g. 0.005 makes 20 s into
                       100 ms; default 1)
  --exit-after-ms MS   stop by itself after MS milliseconds
  --firmware-size N    size in bytes of the firmware files in the packages (default 16384)
  --firmware-folder DIR
                       also write the firmware server's files into DIR, in the server's
                       layout (DIR/system/firmware.txt, DIR/system/PACKAGE, DIR/abc/...),
                       made when missing; works with or without the server
  --verbose            also print one line per HTTP request
                       (GET /camsim/served on the firmware server lists how often each
                       file was sent; the counts are printed as "served PATH COUNT" lines
                       at the end)
  --help, -h           this text

Addresses outside 127.0.0.0/8 are refused (exit status 2).

Series:
)") + series + "\n" + CameraKeysHelp() + R"(
Config file: lines "KEY = VALUE"; "#" or ";" starts a comment line. Settings before any
section (or in [global]) are the options above without "--" (camera, server, no-server,
reboot-ms, time-scale, exit-after-ms, firmware-size, firmware-folder, verbose); each
[camera] section describes one camera with the camera keys. Values are taken as written
(trimmed), so a password may contain commas there.

Example:
  [global]
  time-scale = 0.01
  [camera]
  series = F
  ip = 127.0.0.2
  port = 8081
  password = 135790

Output: one line per camera ("camera F 127.0.0.2:8081 user ..."), one for the firmware
server ("server http://127.0.0.1:8300/FM/"), one per file it serves ("file URL ..."),
with --firmware-folder one for the folder ("folder DIR"), then "ready". After that, one line per upload, restart and return. SIGINT or SIGTERM
stops camsim cleanly.

Exit status: 0 after a signal or --exit-after-ms, 1 when an address cannot be bound or
another system error, 2 for bad options or a configuration camsim refuses.
)";
}

} // namespace camsim

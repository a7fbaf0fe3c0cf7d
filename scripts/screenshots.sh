#!/usr/bin/env bash
# Screenshots of the window in each shipped language, taken under a virtual X server:
# docs/screenshots/torvane-en.png, -cn.png and -b5.png. Builds nothing: run scripts/build.sh
# first (or set TORVANE_BUILD_DIR to a build that holds bin/torvane).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${TORVANE_BUILD_DIR:-$here/build}"
exe="$build/bin/torvane"
out="$here/docs/screenshots"
[ -x "$exe" ] || { echo "screenshots: $exe not found; build first" >&2; exit 1; }
mkdir -p "$out"

# The virtual screen is exactly the window's size, so the window (centred, no window
# manager) fills it and the root window's picture is the window's.
width=789 height=607

for lang in en cn b5; do
    world="$(mktemp -d)"
    mkdir -p "$world/config/torvane" "$world/tmp"
    chmod 700 "$world/tmp"
    # The LAN search stays on this machine: loopback, never the default "auto".
    printf '[Global]\r\nlan=%s\r\nbroadcast=127.0.0.1\r\nserver=http://127.0.0.1:1/FM/\r\n' \
        "$lang" >"$world/config/torvane/option.ini"
    XDG_CONFIG_HOME="$world/config" TMPDIR="$world/tmp" XDG_RUNTIME_DIR="$world/tmp" \
    xvfb-run -a -s "-screen 0 ${width}x${height}x24" bash -c '
        "$1" & pid=$!
        sleep 3
        import -window root "$2"
        kill -TERM "$pid"
        wait "$pid" || true
    ' _ "$exe" "$out/torvane-$lang.png"
    rm -rf "$world"
    echo "screenshots: $out/torvane-$lang.png"
done

#!/usr/bin/env bash
# The demo: installs what the build needs, builds Torvane, starts two simulated cameras
# and a firmware server on loopback, and opens the window pointed at them. Without a
# display it runs the same upgrade with torvane-cli instead. Nothing leaves this machine:
# the cameras listen on 127.0.0.x, the LAN search goes to 127.0.0.1 (set in the demo's
# option.ini and on the command line, never left at the compiled-in "auto", which would
# search on every network interface of this machine).
#   scripts/run.sh             install, build, run
#   scripts/run.sh --no-build  run what is already built
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ "${1:-}" != "--no-build" ]; then
    "$here/scripts/install-deps.sh"
    "$here/scripts/build.sh"
fi
build="${TORVANE_BUILD_DIR:-$here/build}"
bin="$build/bin"

# A private world for the demo: settings, temporary files and the simulator's output.
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo/config/torvane" "$demo/tmp"
chmod 700 "$demo/tmp"

camip=127.0.0.3 camport=8082 user=admin password=135790
"$bin/torvane-camsim" \
    --camera "series=H,ip=$camip,port=$camport,user=$user,password=$password" \
    --camera "series=F,ip=127.0.0.2,port=8081,user=$user,password=$password" \
    --camera "series=E,ip=127.0.0.4,port=8083,user=$user,password=$password" \
    --camera "series=T,ip=127.0.0.5,port=8084,user=$user,password=$password" \
    --server 127.0.0.1:0 --time-scale 0.1 >"$demo/camsim.log" 2>&1 &
camsim=$!
stop_camsim() {
    if kill -0 "$camsim" 2>/dev/null; then
        kill -TERM "$camsim" 2>/dev/null || true
        wait "$camsim" 2>/dev/null || true
    fi
}
trap stop_camsim EXIT

for _ in $(seq 1 100); do
    grep -q '^ready' "$demo/camsim.log" 2>/dev/null && break
    kill -0 "$camsim" 2>/dev/null || { cat "$demo/camsim.log" >&2; exit 1; }
    sleep 0.1
done
grep -q '^ready' "$demo/camsim.log" || { echo "run: the simulator did not start" >&2; exit 1; }
server="$(sed -n 's/^server \(http[^ ]*\).*/\1/p' "$demo/camsim.log" | head -n1)"

printf '[Global]\r\nserver=%s\r\nbroadcast=127.0.0.1\r\n' "$server" \
    >"$demo/config/torvane/option.ini"

echo "Simulated cameras (on this machine only):"
grep '^camera ' "$demo/camsim.log" | sed 's/^/  /'
echo "Firmware server: $server"
echo

export XDG_CONFIG_HOME="$demo/config" TMPDIR="$demo/tmp"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running the same upgrade with torvane-cli instead of the window."
    echo "(Waits are shortened tenfold for the demo.)"
    echo
    TORVANE_CLI_TIME_SCALE=0.1 "$bin/torvane-cli" upgrade --series H --ip "$camip" \
        --port "$camport" --user "$user" --password "$password" --server "$server" \
        --broadcast 127.0.0.1 --yes
    exit $?
fi

cat <<EOT
Opening the window. To upgrade the simulated H camera, type
  IP address: $camip    Port: $camport    Account: $user    Password: $password
and press "Upgrade Firmware" (or press "Search LAN IP camera" and pick one of the four
simulated cameras, one of each series). The system firmware goes first, then the UI firmware;
after each upload the tool waits 40 s for the camera to restart.
The simulator stops when the window is closed.
EOT
"$bin/torvane"

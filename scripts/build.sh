#!/usr/bin/env bash
# Configures and builds Torvane into build/ (or $TORVANE_BUILD_DIR). Extra arguments go to
# the configure step, e.g. -DTORVANE_FIRMWARE_SERVER=https://firmware.example/FM/
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${TORVANE_BUILD_DIR:-$here/build}"
werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTORVANE_WERROR="$werror" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"

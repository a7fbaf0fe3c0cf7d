#!/usr/bin/env bash
# Builds the Debian package torvane_<version>_<arch>.deb into out/: a release build of the
# programs in build-package/ (tests, benchmarks and the simulator left out), put into the
# package by CPack, its library dependencies computed by dpkg-shlibdeps.
#   scripts/package.sh                    install what the build needs, build, package
#   scripts/package.sh -DTORVANE_FIRMWARE_SERVER=https://firmware.example.com/FM/
#                                         the same, with a deployment setting for the build
#   scripts/package.sh --no-build --build-dir build --output build/package
#                                         package what an existing build folder holds
# Then: sudo apt install ./out/torvane_*.deb
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build-package"
out="$here/out"
do_build=1
configure=()
while [ $# -gt 0 ]; do
    case "$1" in
        --no-build) do_build=0 ;;
        --build-dir) build="$(realpath -m "$2")"; shift ;;
        --output) out="$(realpath -m "$2")"; shift ;;
        -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) configure+=("$1") ;;
    esac
    shift
done

if [ "$do_build" -eq 1 ]; then
    "$here/scripts/install-deps.sh"
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DTORVANE_BUILD_TESTS=OFF -DTORVANE_BUILD_BENCH=OFF -DTORVANE_BUILD_CAMSIM=OFF \
          -DTORVANE_REQUIRE_ICON_PNGS=ON "${configure[@]}" >/dev/null
    cmake --build "$build" -j"$(nproc)"
elif [ "${#configure[@]}" -gt 0 ]; then
    echo "package: --no-build takes no configure arguments" >&2
    exit 2
fi
[ -f "$build/CPackConfig.cmake" ] || { echo "package: $build is no configured build" >&2; exit 1; }

staging="$build/cpack"
rm -rf "$staging"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$staging" >"$staging.log" 2>&1) || {
    cat "$staging.log" >&2
    echo "package: cpack failed" >&2
    exit 1
}
debs=("$staging"/torvane_*.deb)
[ -f "${debs[0]}" ] || { cat "$staging.log" >&2; echo "package: no package made" >&2; exit 1; }
rm -f "$out"/torvane_*.deb
mv "${debs[@]}" "$out/"
rm -rf "$staging"
for deb in "$out"/torvane_*.deb; do
    echo "package: $deb"
done

#!/usr/bin/env bash
# Installs what the build needs, builds everything, makes the Debian package from that build
# and checks it, then runs every test.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
build="${TORVANE_BUILD_DIR:-$here/build}"

package_status=0
"$here/scripts/package.sh" --no-build --build-dir "$build" --output "$build/package" ||
    package_status=$?
if [ "$package_status" -eq 0 ]; then
    "$here/scripts/check-package.sh" "$build"/package/torvane_*.deb || package_status=$?
fi

cd "$build"
test_status=0
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600 || test_status=$?
if [ "$package_status" -ne 0 ]; then
    echo "test: the package check failed (see above)" >&2
fi
if [ "$test_status" -ne 0 ]; then
    exit "$test_status"
fi
exit "$package_status"

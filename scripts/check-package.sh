#!/usr/bin/env bash
# Checks a Torvane Debian package without installing it: the files it holds (and that it
# holds nothing else), its dependencies, the desktop entry and the AppStream data against
# their validators, the man pages and the bash completion, and that the programs run from
# the unpacked package with their language packs.
#   scripts/check-package.sh out/torvane_1.1.0_amd64.deb
set -uo pipefail
deb="${1:?usage: check-package.sh PACKAGE.deb}"
[ -f "$deb" ] || { echo "check-package: $deb not found" >&2; exit 2; }
app_id=example.torvane.Torvane
passed=0
failed=0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# check NAME COMMAND...: runs the command, its output kept in $work/out.
check() {
    local name="$1"
    shift
    if "$@" >"$work/out" 2>&1; then
        passed=$((passed + 1))
        echo "check-package: ok      $name"
    else
        failed=$((failed + 1))
        echo "check-package: FAILED  $name"
        sed 's/^/    /' "$work/out"
    fi
}

expected_files() {
    cat <<EOT
./usr/bin/torvane
./usr/bin/torvane-cli
./usr/share/applications/$app_id.desktop
./usr/share/bash-completion/completions/torvane-cli
./usr/share/doc/torvane/copyright
./usr/share/icons/hicolor/128x128/apps/torvane.png
./usr/share/icons/hicolor/16x16/apps/torvane.png
./usr/share/icons/hicolor/22x22/apps/torvane.png
./usr/share/icons/hicolor/24x24/apps/torvane.png
./usr/share/icons/hicolor/256x256/apps/torvane.png
./usr/share/icons/hicolor/32x32/apps/torvane.png
./usr/share/icons/hicolor/48x48/apps/torvane.png
./usr/share/icons/hicolor/64x64/apps/torvane.png
./usr/share/icons/hicolor/scalable/apps/torvane.svg
./usr/share/man/man1/torvane-cli.1.gz
./usr/share/man/man1/torvane.1.gz
./usr/share/metainfo/$app_id.metainfo.xml
EOT
}

# The files of the package (folders left out) are exactly the expected ones.
contents() {
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/files" &&
        expected_files | sort | diff -u - "$work/files"
}
check "contents (dpkg-deb -c)" contents

field() { dpkg-deb -f "$deb" "$1"; }
version="$(field Version)"
dependencies() {
    local depends recommends
    depends="$(field Depends)" && recommends="$(field Recommends)" &&
        echo "Depends: $depends" && echo "Recommends: $recommends" &&
        [ "$(field Package)" = torvane ] &&
        [ "$(basename "$deb")" = "torvane_${version}_$(field Architecture).deb" ] &&
        grep -q 'libqt6widgets6' <<<"$depends" && grep -q 'libcurl4' <<<"$depends" &&
        grep -q 'libzip4' <<<"$depends" && grep -q 'qt6-qpa-plugins' <<<"$depends" &&
        grep -q 'fonts-noto-cjk' <<<"$recommends"
}
check "name and dependencies" dependencies

root="$work/root"
dpkg-deb -x "$deb" "$root"
check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/$app_id.desktop"
check "appstreamcli validate --no-net" \
    appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml"

man_pages() {
    local page
    for page in torvane torvane-cli; do
        # groff warns about anything it cannot lay out; no warning is allowed.
        zcat "$root/usr/share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1 |
            tee /dev/stderr | grep -q . && return 1
    done
    zcat "$root/usr/share/man/man1/torvane-cli.1.gz" | groff -man -Tutf8 2>/dev/null |
        grep -q -- '--password-file'
}
check "man pages" man_pages

completion() {
    bash -c '
        source "$1"
        COMP_WORDS=(torvane-cli upgrade --se); COMP_CWORD=2; _torvane_cli
        [ "${COMPREPLY[*]}" = "--series --server" ] || { echo "got: ${COMPREPLY[*]}"; exit 1; }
        COMP_WORDS=(torvane-cli upgrade --series ""); COMP_CWORD=3; _torvane_cli
        [ "${COMPREPLY[*]}" = "E F H T auto" ] || { echo "got: ${COMPREPLY[*]}"; exit 1; }
    ' _ "$root/usr/share/bash-completion/completions/torvane-cli"
}
check "bash completion" completion

# The programs as installed: from their own folder, with a private temporary folder.
export TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config"
mkdir -p "$TMPDIR" "$XDG_CONFIG_HOME"
check "torvane-cli --version" bash -c '[ "$("$1" --version)" = "torvane-cli $2" ]' _ \
    "$root/usr/bin/torvane-cli" "$version"
check "torvane --version" bash -c '[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$1" --version)" = "torvane $2" ]' \
    _ "$root/usr/bin/torvane" "$version"
check "torvane-cli finds its language packs" bash -c \
    '[ "$("$1" text IDS_IPCWORKING --lang cn)" = "网络摄像机已进入工作状态！" ]' _ "$root/usr/bin/torvane-cli"

echo "package check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

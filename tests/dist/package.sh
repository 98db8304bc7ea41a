#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root and checks that every file is where
# a desktop looks for it and that the unpacked program starts, with no display:
#   package.sh BUILD_DIR VERSION APP_ID
set -euo pipefail
build=$1 version=$2 app_id=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$scratch/out/tolvek-panel_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb"), only: $(ls "$scratch/out")"

depends=$(dpkg-deb -f "$deb" Depends)
has() { [[ ", $1," == *", $2 "* || ", $1," == *", $2,"* ]]; }
for package in fonts-ipafont-gothic qt6-qpa-plugins libqt6widgets6 libqt6serialport6 libmosquitto1; do
    has "$depends" "$package" || fail "Depends lacks $package: $depends"
done
! has "$depends" libqt6svg6 || fail "the program draws no SVG at run time, yet Depends has libqt6svg6: $depends"
has "$(dpkg-deb -f "$deb" Recommends)" qt6-wayland || fail "Recommends lacks qt6-wayland"
lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || { cat "$scratch/lintian.log"; fail "lintian"; }

root=$scratch/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
for program in tolvek-panel tolvek-send tolvek-mqtt; do
    [ -x "$root/usr/bin/$program" ] || fail "no /usr/bin/$program"
    manual=$share/man/man1/$program.1.gz
    warnings=$(zcat "$manual" | LC_ALL=C.UTF-8 groff -man -ww -z -Tutf8 2>&1) || fail "$program's man page: $warnings"
    [ -z "$warnings" ] || fail "$program's man page: $warnings"
done
grep -qx "ExecStart=/usr/bin/tolvek-mqtt .*" "$root/usr/lib/systemd/system/tolvek-mqtt@.service" \
    || fail "no tolvek-mqtt@.service that starts /usr/bin/tolvek-mqtt"
entry=$share/applications/$app_id.desktop
grep -qx "Exec=tolvek-panel" "$entry" || fail "the desktop entry does not start tolvek-panel plainly"
grep -qx "Icon=$app_id" "$entry" || fail "the desktop entry names another icon"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$share/metainfo/$app_id.metainfo.xml" \
    || fail "the metainfo does not name the desktop entry"
for size in 16 24 32 48 64 128 256; do
    icon=$share/icons/hicolor/${size}x$size/apps/$app_id.png
    file "$icon" | grep -q "PNG image data, $size x $size," || fail "$icon: $(file -b "$icon")"
done
file "$share/icons/hicolor/scalable/apps/$app_id.svg" | grep -q "SVG" || fail "no scalable icon"

# The unpacked program, with no display and no real port unless named before it.
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TOLVEK_COM1=/nonexistent/com1 TOLVEK_COM2=/nonexistent/com2 \
        "$@" >"$scratch/stdout" 2>"$scratch/stderr"
}
panel=$root/usr/bin/tolvek-panel
# expect STATUS LINE [VAR=VALUE...] PROGRAM [ARGUMENTS...]: that status, nothing on standard
# output, and LINE first on standard error (alone for status 1).
expect() {
    local want_status=$1 want=$2 status=0
    shift 2
    run "$@" || status=$?
    [ "$status" -eq "$want_status" ] && [ ! -s "$scratch/stdout" ] && [ "$(head -n1 "$scratch/stderr")" = "$want" ] \
        && { [ "$want_status" -ne 1 ] || [ "$(wc -l <"$scratch/stderr")" -eq 1 ]; } \
        || fail "$*: status $status, stdout $(cat "$scratch/stdout"), stderr $(cat "$scratch/stderr")"
}
# Without a window system, the line says what is missing where Qt alone would abort.
expect 1 "tolvek-panel: cannot open a window: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)" "$panel"
expect 1 'tolvek-panel: cannot open a window: the Qt platform plugin "nosuch" is not installed' \
    QT_QPA_PLATFORM=nosuch "$panel"
expect 2 "tolvek-panel: Unknown option 'no-such-option'." "$panel" --no-such-option
run "$panel" --version && [ "$(cat "$scratch/stdout")" = "tolvek-panel $version" ] \
    || fail "--version says: $(cat "$scratch/stdout" "$scratch/stderr")"
echo "$(basename "$deb"): Depends: $depends"

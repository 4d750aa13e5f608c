#!/usr/bin/env bash
# Builds the Debian package of a build tree with CPack and checks it as a Debian machine would take it:
# lintian, the AppStream and desktop entry validators, the systemd units, the dependencies, and the programs of
# the unpacked tree (each answers --version and has a manual page).
#
#   tests/dist/check-package.sh BUILD_DIR SOURCE_DIR VERSION BUILD_TYPE
set -euo pipefail
build=$1
source=$2
version=$3
build_type=${4:-}

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work=$build/package-check
rm -rf "$work"
mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    exit 1
}
deb=$work/verbolt_${version}_amd64.deb
[[ -f "$deb" ]] || {
    ls "$work" >&2
    echo "FAIL: no $(basename "$deb")" >&2
    exit 1
}
echo "package: $deb ($(stat -c %s "$deb") bytes)"

# Every tag lintian raises, down to pedantic ones, is a failure; but libc calls are fortified only where the
# optimizer runs, which a Debug build's does not (README: "The Debian package").
suppress=()
case "$build_type" in
Release | RelWithDebInfo | MinSizeRel) ;;
*) suppress=(--suppress-tags hardening-no-fortify-functions) ;;
esac
if ! lintian --display-info --pedantic --info --fail-on error,warning,info,pedantic "${suppress[@]}" "$deb" \
    >"$work/lintian.log" 2>&1; then
    fail "lintian:"
    grep -v '^running with root privileges' "$work/lintian.log" >&2
fi

# Depends: the shared libraries' packages, found by dpkg-shlibdeps, plus Apertium and every listed pair.
depends=$(dpkg-deb -f "$deb" Depends)
mapfile -t pairs < <(grep -v '^#' "$source/scripts/apertium-pairs.txt" | grep .)
for needed in libqt6core6 libqt6widgets6 libqt6dbus6 libcurl4 libsystemd0 qt6-qpa-plugins apertium "${pairs[@]}"; do
    [[ ", $depends," == *", $needed "* || ", $depends," == *", $needed,"* ]] || fail "Depends lacks $needed: $depends"
done
[[ "$(dpkg-deb -f "$deb" Version)" == "$version" ]] || fail "Version is not $version"

tree=$work/tree
dpkg-deb -x "$deb" "$tree"

# The metainfo's newest release is this version, and it agrees with the desktop entry.
metainfo=$tree/usr/share/metainfo/org.verbolt.Verbolt.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
appstreamcli validate-tree --no-net "$tree" >"$work/appstream.log" 2>&1 || {
    fail "appstreamcli validate-tree:"
    cat "$work/appstream.log" >&2
}
desktop-file-validate "$tree/usr/share/applications/verbolt.desktop" || fail "desktop-file-validate"

# The user units: the service unit, written at install time, runs the packaged program.
units=$tree/usr/lib/systemd/user
grep -qx 'ExecStart=/usr/bin/verbolt-service' "$units/verbolt-service.service" || fail "ExecStart is not /usr/bin/verbolt-service"
# systemd-analyze wants the program in place: a copy of the service unit names it in the unpacked tree.
verify=$work/units
mkdir -p "$verify" "$work/runtime"
cp "$units"/* "$verify/"
sed -i "s|^ExecStart=/usr/bin/|ExecStart=$tree/usr/bin/|" "$verify/verbolt-service.service"
if ! XDG_RUNTIME_DIR=$work/runtime systemd-analyze --user --man=no verify \
    "$verify/verbolt-service.socket" "$verify/verbolt-service.service" >"$work/verify.log" 2>&1 ||
    [[ -s "$work/verify.log" ]]; then
    fail "systemd-analyze verify:"
    cat "$work/verify.log" >&2
fi

for script in postinst prerm postrm; do
    dpkg-deb --ctrl-tarfile "$deb" | tar -xO "./$script" | sh -n || fail "$script does not parse"
done

# Every program runs from the unpacked tree with no display and no bus, and has a manual page that man renders.
programs=0
for program in "$tree"/usr/bin/*; do
    name=$(basename "$program")
    programs=$((programs + 1))
    answer=$(env -u DISPLAY -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus \
        "$program" --version 2>&1) || fail "$name --version failed: $answer"
    [[ "$answer" == "$name $version" ]] || fail "$name --version says '$answer'"
    page=$tree/usr/share/man/man1/$name.1.gz
    if [[ -f "$page" ]]; then
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man $name failed"
        [[ -z "$warnings" ]] || fail "man $name: $warnings"
    else
        fail "$name has no manual page"
    fi
done
((programs >= 3)) || fail "only $programs programs in usr/bin"

if ((failures)); then
    echo "$failures failed" >&2
    exit 1
fi
echo "package checks passed: $programs programs"

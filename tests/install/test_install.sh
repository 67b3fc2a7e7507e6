#!/usr/bin/env bash
# Installs an existing build into a temporary prefix and checks the layout the
# program and the desktop rely on.
#   tests/install/test_install.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
cmake=$(cache_value CMAKE_COMMAND)
source_dir=$(cache_value CMAKE_HOME_DIRECTORY)
autostart=$(cache_value WIBBLET_AUTOSTART)
autostart_dir=$(cache_value WIBBLET_AUTOSTART_DIR)
setcap_wanted=$(cache_value WIBBLET_SETCAP)

work=$(mktemp -d)
# cmake --install rewrites the build's manifest; keep the one of a real install.
manifest="$build/install_manifest.txt"
[[ -e $manifest ]] && cp -p "$manifest" "$work/manifest.saved"
restore() {
    if [[ -e $work/manifest.saved ]]; then mv -f "$work/manifest.saved" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$work"
}
trap restore EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" || fail "$what"; }

prefix="$work/prefix"
# An absolute autostart folder is a real one (~/.config/autostart): stage the
# install so that it stays untouched.
stage=
[[ $autostart = ON && $autostart_dir = /* ]] && stage="$work/stage"
if ! DESTDIR="$stage" "$cmake" --install "$build" --prefix "$prefix" >"$work/log" 2>&1; then
    cat "$work/log"
    echo "FAIL: cmake --install"
    exit 1
fi

root="$stage$prefix"
program="$root/lib/wibblet/wibblet"
check "program in a folder of its own" test -f "$program" -a -x "$program" -a ! -L "$program"
check "nothing else in the program folder" test "$(ls -A "$root/lib/wibblet")" = wibblet

link="$root/bin/wibblet"
check "bin/wibblet is a link" test -L "$link"
target=$(readlink "$link" || true)
check "bin/wibblet is relative ($target)" test "${target:0:1}" != /
check "bin/wibblet resolves to the program" test "$(realpath "$link")" = "$(realpath "$program")"

check "icon" cmp -s "$source_dir/resources/app.svg" \
    "$root/share/icons/hicolor/scalable/apps/wibblet.svg"

entry="$root/share/applications/wibblet.desktop"
check "desktop entry" test -f "$entry"
key() { sed -n "s/^$1=//p" "$2"; }
check "Name" test "$(key Name "$entry")" = Wibblet
check "Icon" test "$(key Icon "$entry")" = wibblet
check "Terminal" test "$(key Terminal "$entry")" = false
check "Categories" grep -qx 'Categories=Network;InstantMessaging;' "$entry"
check "Comment[ja]" test -n "$(key 'Comment\[ja\]' "$entry")"
check "Exec through xcb, by full path" \
    test "$(key Exec "$entry")" = "env QT_QPA_PLATFORM=xcb $prefix/bin/wibblet"
if command -v desktop-file-validate >/dev/null; then
    check "desktop-file-validate" desktop-file-validate "$entry"
else
    echo "SKIP: desktop-file-validate not installed"
fi

metainfo="$root/share/metainfo/wibblet.metainfo.xml"
check "metainfo" test -f "$metainfo"
check "metainfo launches the installed entry" \
    grep -q '<launchable type="desktop-id">wibblet.desktop</launchable>' "$metainfo"
if command -v appstreamcli >/dev/null; then
    # The id follows the desktop file's name until the project has a domain.
    check "appstreamcli validate" appstreamcli validate-tree --no-net \
        --override cid-desktopapp-is-not-rdns=pedantic "$root" >/dev/null
else
    echo "SKIP: appstreamcli not installed"
fi

[[ $autostart_dir = /* ]] || autostart_dir="$prefix/$autostart_dir"
autostart_dir="$stage$autostart_dir"
if [[ $autostart = ON ]]; then
    check "autostart entry" cmp -s "$entry" "$autostart_dir/wibblet.desktop"
else
    check "no autostart entry by default" test ! -e "$autostart_dir/wibblet.desktop"
fi

# The capability step either gives the capability or says how to.
if [[ -n $stage ]]; then
    check "no setcap when staged" grep -q 'DESTDIR install, skipped setcap' "$work/log"
elif [[ $setcap_wanted = OFF ]]; then
    check "no setcap when off" bash -c "! grep -q 'port 1001' '$work/log'"
elif grep -q 'may now bind port 1001' "$work/log"; then
    check "capability set" bash -c "getcap '$program' | grep -q cap_net_bind_service"
else
    check "setcap hint" grep -qF "setcap cap_net_bind_service=+ep $program" "$work/log"
fi

# Uninstalling goes by the manifest: what the install steps made must be on it.
check "manifest lists the link" grep -qxF -e "$link" "$manifest"
check "manifest lists the entry" grep -qxF -e "$entry" "$manifest"

# A relative link keeps working when the whole tree moves.
mv "$root" "$work/moved"
check "link survives moving the tree" test -x "$work/moved/bin/wibblet"

if ((failures)); then
    cat "$work/log" >&2
    exit 1
fi
echo "install layout ok"

#!/usr/bin/env bash
# Builds the Debian package (scripts/build-package.sh), checks its
# control fields and files, runs lintian (an error fails), installs it with
# apt-get, starts the installed program as a throwaway ordinary user in a
# network namespace of its own (loopback only) and waits for its settings file
# in that user's ~/.config/wibblet; then ends it and purges the package.
#   ./scripts/test-package.sh      (as root: it installs and removes a package)
set -euo pipefail
cd "$(dirname "$0")/.."
((EUID == 0)) || { echo "test-package: run as root" >&2; exit 1; }
if dpkg-query -W -f='${Status}' wibblet 2>/dev/null | grep -q 'install ok installed'; then
    echo "test-package: wibblet is installed here already; this test installs and purges its own" >&2
    exit 1
fi

deb=$PWD/$(scripts/build-package.sh | tail -1)
version=$(dpkg-deb -f "$deb" Version)

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" || fail "$what"; }

# Control fields.
dpkg-deb -I "$deb"
field() { dpkg-deb -f "$deb" "$1"; }
check "Package" test "$(field Package)" = wibblet
check "Version is the project's" grep -qx "CMAKE_PROJECT_VERSION:STATIC=$version" build-package/CMakeCache.txt
check "file name" test "$(basename "$deb")" = "wibblet_${version}_amd64.deb"
check "Architecture" test "$(field Architecture)" = amd64
check "Section" test "$(field Section)" = net
check "Priority" test "$(field Priority)" = optional
check "Maintainer" test -n "$(field Maintainer)"
check "Description" test "$(field Description | wc -l)" -gt 1
depends=$(field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
# The font packages are listed in one place, dist/Package.cmake.
fonts=$(sed -n 's/^set(WIBBLET_DEB_FONTS "\(.*\)")$/\1/p' dist/Package.cmake | tr -d ,)
check "font packages found in dist/Package.cmake" test -n "$fonts"
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 qt6-qpa-plugins \
    libcap2-bin $fonts; do
    check "Depends on $p" grep -qxF "$p" <<<"$depends"
done
check "Recommends Qt's Japanese texts" test "$(field Recommends)" = qt6-translations-l10n
control=$(mktemp -d)
dpkg-deb -e "$deb" "$control"
check "postinst sets the capability" grep -q 'setcap cap_net_bind_service=+ep' "$control/postinst"
rm -rf "$control"

# Files.
listing=$(dpkg-deb -c "$deb")
has() { grep -qE " \./$1( |$)" <<<"$listing"; }
for f in usr/lib/wibblet/wibblet usr/share/applications/wibblet.desktop \
    usr/share/icons/hicolor/scalable/apps/wibblet.svg usr/share/metainfo/wibblet.metainfo.xml \
    usr/share/doc/wibblet/copyright usr/share/doc/wibblet/changelog.gz \
    usr/share/man/man1/wibblet.1.gz; do
    check "file $f" has "$f"
done
check "/usr/bin/wibblet links to the program" has 'usr/bin/wibblet -> \.\./lib/wibblet/wibblet'

lintian --allow-root --fail-on error "$deb" || fail "lintian reports errors"

# Installed, run and removed. The trap undoes what got done.
user=wibblet-pkgtest
pid=
export DEBIAN_FRONTEND=noninteractive
# Waits for another apt-get rather than failing at once.
apt=(apt-get -o DPkg::Lock::Timeout=300 -y)
cleanup() {
    [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    dpkg-query -W wibblet >/dev/null 2>&1 && "${apt[@]}" -qq purge wibblet >/dev/null
    id "$user" >/dev/null 2>&1 && userdel -r "$user" 2>/dev/null
    true
}
trap cleanup EXIT
"${apt[@]}" -qq install "$deb" >/dev/null 2>&1 || { "${apt[@]}" install "$deb"; exit 1; }
check "installed program" test -x /usr/bin/wibblet
capable=false
getcap /usr/lib/wibblet/wibblet | grep -q cap_net_bind_service && capable=true
$capable || echo "NOTE: this file system holds no capability; port 1001 is not checked"

id "$user" >/dev/null 2>&1 && userdel -r "$user" 2>/dev/null
useradd --create-home --shell /usr/sbin/nologin "$user"
home=$(getent passwd "$user" | cut -d: -f6)
# Its own network namespace, then the user's identity and login environment.
unshare --net -- sh -c "ip link set lo up && exec setpriv --reuid=$user --regid=$user \
    --init-groups --reset-env env QT_QPA_PLATFORM=offscreen /usr/bin/wibblet" \
    >"$home/run.log" 2>&1 &
pid=$!
ini=$home/.config/wibblet/wibblet.ini
for _ in $(seq 100); do
    [[ -s $ini ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
if [[ -s $ini ]]; then
    check "settings file belongs to the user" test "$(stat -c %U "$ini")" = "$user"
    check "config folder is private" test "$(stat -c %a "$(dirname "$ini")")" = 700
    check "nothing written beside the program" test "$(ls -A /usr/lib/wibblet)" = wibblet
    if $capable; then
        bound=false
        for _ in $(seq 25); do
            nsenter --net="/proc/$pid/ns/net" ss -Huln 'sport = :1001' | grep -q . && bound=true && break
            sleep 0.2
        done
        check "the user's program bound port 1001" $bound
    fi
else
    fail "no settings file at $ini"
    cat "$home/run.log" >&2
fi
kill "$pid"
wait "$pid" || true
pid=

"${apt[@]}" -qq purge wibblet >/dev/null
check "purged" test ! -e /usr/lib/wibblet/wibblet -a ! -e /usr/bin/wibblet

if ((failures)); then
    echo "test-package: $failures failure(s)" >&2
    exit 1
fi
echo "package ok: $(basename "$deb")"

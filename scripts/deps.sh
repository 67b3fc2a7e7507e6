#!/usr/bin/env bash
# Installs what building, running and testing Wibblet need on Debian 12.
# Idempotent and quiet; must run as root.
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
    # run: Japanese fonts for every text (IPA PGothic and IPA Gothic stand in
    # for the faces the windows name), Qt's own texts (context menus) in
    # Japanese, setcap for port 1001
    fonts-ipafont-gothic qt6-translations-l10n libcap2-bin
    # test: GoogleTest, private network namespaces, a headless X server; the
    # namespaced-LAN tests' protocol peer, sysctl and ps, window lookup, and a
    # tray for the program's icon
    libgtest-dev iproute2 util-linux xvfb xauth python3 procps xdotool trayer
    # a window manager, for the test of where the keyboard goes
    openbox
    # the interoperability test's peer client and its screenshot; a session
    # bus to open its preferences (an action of its application menu, which
    # no shell shows there), and xclip to read back what its panes show
    iptux imagemagick dbus-daemon libglib2.0-bin xclip
    # fuzzing (libFuzzer ships with clang's runtime) and the benchmarks
    clang libclang-rt-14-dev libbenchmark-dev
    # the format check
    clang-format
    # the Debian package: cpack's dependency list (dpkg-shlibdeps, file), and
    # its check
    dpkg-dev file lintian
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

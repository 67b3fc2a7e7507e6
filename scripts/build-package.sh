#!/usr/bin/env bash
# Sets up and builds the Debian package, build-package/wibblet_<version>_amd64.deb
# (Release, no tests), and prints its path (the build talks on stderr).
# Install it with
#   sudo apt-get install ./build-package/wibblet_*_amd64.deb
#   ./scripts/build-package.sh      (as a user with sudo, or as root)
set -euo pipefail
cd "$(dirname "$0")/.."
as_root() { if ((EUID == 0)); then "$@"; else sudo "$@"; fi; }

as_root scripts/deps.sh
build=build-package
# Debian's hardening flags, as its own packages are built, with immediate
# binding on top.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release -DWIBBLET_TESTS=OFF \
    -DWIBBLET_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build $build >&2
rm -f $build/wibblet_*.deb
(cd $build && cpack -G DEB >&2)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' $build/CMakeCache.txt)
deb=$build/wibblet_${version}_amd64.deb
[[ -f $deb ]] || { echo "build-package: cpack made no $deb" >&2; exit 1; }
echo "$deb"

#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite inside a private network
# namespace that holds only loopback, so no test can reach a real network.
#   ./scripts/test.sh      (as a user with sudo, or as root)
set -euo pipefail
cd "$(dirname "$0")/.."
as_root() { if ((EUID == 0)); then "$@"; else sudo "$@"; fi; }

as_root scripts/deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-test

# Root gets a plain network namespace; a user maps itself to root in a user
# namespace to get one.
isolate=(unshare --net)
((EUID == 0)) || isolate=(unshare --user --map-root-user --net)
"${isolate[@]}" -- bash -c 'ip link set lo up && exec ctest --test-dir build-test --output-on-failure -j2'

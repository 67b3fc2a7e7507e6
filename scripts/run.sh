#!/usr/bin/env bash
# Sets up, builds and starts Wibblet on this desktop.
#   ./scripts/run.sh      (as a user with sudo, or as root)
set -euo pipefail
cd "$(dirname "$0")/.."
as_root() { if ((EUID == 0)); then "$@"; else sudo "$@"; fi; }

as_root scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DWIBBLET_TESTS=OFF >/dev/null
cmake --build build --target wibblet
# Port 1001 is privileged on Linux: let the program bind it without root.
as_root setcap cap_net_bind_service=+ep build/src/wibblet
exec build/src/wibblet

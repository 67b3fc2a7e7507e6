#!/usr/bin/env bash
# Builds the whole project and its test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer (g++) in build-sanitize/, and runs the suite in a
# private network namespace holding only loopback, as scripts/test.sh does.
# Any sanitizer report fails the run.
#   ./scripts/test-sanitized.sh      (as a user with sudo, or as root)
set -euo pipefail
cd "$(dirname "$0")/.."
as_root() { if ((EUID == 0)); then "$@"; else sudo "$@"; fi; }

as_root scripts/deps.sh
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWIBBLET_SANITIZE=ON -DWIBBLET_BENCH=OFF >/dev/null
cmake --build build-sanitize

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Qt and fontconfig keep a few allocations for the life of the process; the
# suppressions name only those libraries, never our code.
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"

isolate=(unshare --net)
((EUID == 0)) || isolate=(unshare --user --map-root-user --net)
"${isolate[@]}" -- bash -c 'ip link set lo up && exec ctest --test-dir build-sanitize --output-on-failure -j2'

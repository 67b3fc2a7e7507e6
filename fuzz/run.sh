#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer) in build-fuzz/ and, for each target, first replays its corpus in
# fuzz/corpus/<target>/, then fuzzes it for a bounded time. Any crash, leak,
# timeout or sanitizer report fails the run; the input that caused it is
# copied into the target's corpus so that it is replayed from then on (commit
# it with the fix).
#   fuzz/run.sh [seconds per target, default 60] [target...]
# Runs in a private network namespace holding only loopback, as the tests do.
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$self")/.."
seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(fuzz_body fuzz_cp932 fuzz_titles fuzz_settings fuzz_receive)

if [[ ${WIBBLET_FUZZ_ISOLATED:-} != 1 ]]; then
    as_root() { if ((EUID == 0)); then "$@"; else sudo "$@"; fi; }
    as_root scripts/deps.sh
    isolate=(unshare --net)
    ((EUID == 0)) || isolate=(unshare --user --map-root-user --net)
    exec "${isolate[@]}" -- env WIBBLET_FUZZ_ISOLATED=1 bash -c 'ip link set lo up && exec "$0" "$@"' \
        "$self" "$seconds" "${targets[@]}"
fi

build=build-fuzz
# Warnings stay warnings here: this build exists to find faults, and clang
# warns about things g++ (the build that enforces them) does not.
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DWIBBLET_FUZZ=ON -DWIBBLET_TESTS=OFF -DWIBBLET_WERROR=OFF \
    >/dev/null
cmake --build "$build" --target "${targets[@]}"

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"

max_len() {
    case $1 in
        fuzz_settings | fuzz_receive) echo 8192 ;;
        fuzz_titles) echo 1024 ;;
        *) echo 4096 ;;
    esac
}

failed=()
for target in "${targets[@]}"; do
    corpus=fuzz/corpus/$target
    work=$build/work/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$corpus" "$work" "$artifacts"
    log=$build/$target.log
    echo "== $target: corpus replay, then ${seconds}s of fuzzing"
    ok=1
    mapfile -t seeds < <(find "$corpus" -type f | sort)
    if ((${#seeds[@]})) && ! "$build/fuzz/$target" -rss_limit_mb=4096 "${seeds[@]}" >"$log" 2>&1; then
        ok=0
    fi
    if ((ok)) && ! "$build/fuzz/$target" -max_total_time="$seconds" -max_len="$(max_len "$target")" \
        -len_control=10 -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$work" "$corpus" >>"$log" 2>&1; then
        ok=0
    fi
    if ((ok)); then
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" | sed 's/^/   /' || true
    else
        failed+=("$target")
        tail -n 60 "$log"
        for found in "$artifacts"/*; do
            [[ -e $found ]] || continue
            cp "$found" "$corpus/"
            echo "   kept $(basename "$found") in $corpus/"
        done
    fi
done

if ((${#failed[@]})); then
    echo "fuzzing failed: ${failed[*]} (logs in $build/)"
    exit 1
fi
echo "fuzzing passed: ${targets[*]}"

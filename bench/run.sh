#!/usr/bin/env bash
# Runs every benchmark: the in-process ones (wibblet_bench) and the whole
# program ones (idle, start-up, storm), each inside a private network
# namespace of its own.
#
#   bench/run.sh BUILD_DIR            full run, a few minutes; figures only
#   bench/run.sh --smoke BUILD_DIR    seconds; checks that everything runs
#                                     and counts right, judges no timing
#   bench/run.sh --iptux BUILD_DIR    the full run with iptux measured the
#                                     same way beside it (apt-get install iptux)
#
# BUILD_DIR must hold wibblet, wibblet_observed and bench/wibblet_bench,
# built as Release for figures worth comparing (docs/performance.md). Where
# it holds bench/floor/wibblet_floor too (the floor: a minimal Qt tray
# program with a UDP socket), start-up measures it beside wibblet, in turns.
set -euo pipefail

smoke=0
iptux=0
while [[ $# -gt 0 ]]; do
    case $1 in
    --smoke) smoke=1 ;;
    --iptux) iptux=1 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
    shift
done
build=${1:?usage: bench/run.sh [--smoke] [--iptux] BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)

find_binary()
{
    local found
    found=$(find "$build" -name "$1" -type f -perm -u+x -not -path '*/CMakeFiles/*' | head -n 1)
    [[ -n $found ]] || { echo "no $1 under $build" >&2; exit 1; }
    echo "$found"
}
wibblet=$(find_binary wibblet)
observed=$(find_binary wibblet_observed)
bench=$(find_binary wibblet_bench)
floor=()
if [[ -x $build/bench/floor/wibblet_floor ]]; then
    floor=(--floor "$build/bench/floor/wibblet_floor")
else
    echo "no $build/bench/floor/wibblet_floor: start-up without the floor beside it"
fi

if ((EUID != 0)) || ! unshare --net true 2>/dev/null; then
    echo "SKIP: the benchmarks need root and network namespaces"
    exit 77
fi
# Everything below runs with loopback only; nothing can reach a network.
private()
{
    unshare --net -- sh -c 'ip link set lo up && exec "$@"' private "$@"
}

failed=0
step()
{
    echo
    echo "== $*"
    "$@" || { echo "FAILED: $*"; failed=$((failed + 1)); }
}

json=$(mktemp /tmp/wibblet-bench.XXXXXX.json)
trap 'rm -f "$json"' EXIT
bench_check()
{
    # Google Benchmark exits 0 even when a benchmark reports an error.
    python3 - "$json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
bad = [r["name"] + ": " + r.get("error_message", "") for r in runs if r.get("error_occurred")]
print("\n".join(bad) if bad else f"{len(runs)} benchmark runs, no errors")
sys.exit(1 if bad else 0)
PY
}

if ((smoke)); then
    step private "$bench" --benchmark_filter='/(100|1000)(/|$)|/100/|/1000/|Burst' \
        --benchmark_min_time=0.01 --benchmark_out="$json" --benchmark_out_format=json
    step bench_check
    step python3 "$here/whole/idle.py" "$wibblet" --seconds 3 --platform offscreen
    step python3 "$here/whole/startup.py" "$wibblet" "${floor[@]}" --runs 1
    step python3 "$here/whole/storm.py" "$observed" --hosts 500 --repeat 1 --platform offscreen
else
    with_iptux=()
    if ((iptux)); then
        command -v iptux >/dev/null || { echo "iptux is not installed"; exit 1; }
        with_iptux=(--iptux "$(command -v iptux)")
    fi
    step private "$bench" --benchmark_out="$json" --benchmark_out_format=json
    step bench_check
    step python3 "$here/whole/idle.py" "$wibblet" --platform offscreen
    step python3 "$here/whole/idle.py" "$wibblet" --platform xcb
    step python3 "$here/whole/startup.py" "$wibblet" "${floor[@]}" "${with_iptux[@]}" --runs 7
    step python3 "$here/whole/storm.py" "$observed" --hosts 50000 --repeat 3
    if ((iptux)); then
        step python3 "$here/whole/idle.py" "$(command -v iptux)" --iptux --platform xcb
    fi
fi

echo
if ((failed)); then
    echo "benchmarks: $failed step(s) failed"
    exit 1
fi
echo "benchmarks: all steps ran"

#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what clang-format
# makes of it with the checked-in .clang-format; lists the files.
#   scripts/check-format.sh          check
#   scripts/check-format.sh --fix    format them in place
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format not found (scripts/deps.sh)" >&2; exit 2; }

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ ${1:-} == --fix ]]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=()
for f in "${files[@]}"; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]})); then
    printf '%s\n' "${bad[@]}"
    echo "check-format: ${#bad[@]} file(s) differ from .clang-format; scripts/check-format.sh --fix formats them" >&2
    exit 1
fi

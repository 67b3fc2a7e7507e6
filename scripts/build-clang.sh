#!/usr/bin/env bash
# Builds the whole tree (program, tests, benchmarks) with clang++ and
# warnings as errors: the second compiler catches what g++ lets through.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DWIBBLET_WERROR=ON >/dev/null
cmake --build build-clang

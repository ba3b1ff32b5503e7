#!/usr/bin/env bash
# Configures build-tsan once: the engine and the tests of its threads with ThreadSanitizer,
# no windows, no benchmarks. Needs clang; without it says so and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-tsan
[[ -f "$dir/build.ninja" ]] && exit 0
if ! command -v clang >/dev/null || ! command -v clang++ >/dev/null; then
    echo "configure-tsan: clang is not installed (scripts/setup.sh installs it)"
    exit 1
fi
cmake -S . -B "$dir" -G Ninja -DORVEX_TSAN=ON -DORVEX_GUI=OFF -DORVEX_BENCH=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null

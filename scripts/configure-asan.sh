#!/usr/bin/env bash
# Configures build-asan once: the engine with AddressSanitizer and UBSan, no windows, no
# benchmarks; with clang also the fuzzer's coverage hooks and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-asan
[[ -f "$dir/build.ninja" ]] && exit 0
compilers=()
if command -v clang >/dev/null && command -v clang++ >/dev/null; then
    compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
fi
cmake -S . -B "$dir" -G Ninja -DORVEX_SANITIZE=ON -DORVEX_GUI=OFF -DORVEX_BENCH=OFF \
    "${compilers[@]}" >/dev/null

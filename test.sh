#!/usr/bin/env bash
# Set-up, build and run every test (headless): the test suite, then the engine's tests built
# with AddressSanitizer and UBSan, then a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh build
export QT_QPA_PLATFORM=offscreen

# The sanitizer tree compiles while the first suite runs: those tests mostly wait on the line.
scripts/configure-asan.sh
cmake --build build-asan -j"$(nproc)" >build-asan/build.log 2>&1 &
asan_build=$!
status=0
ctest --test-dir build --output-on-failure -j"$(( $(nproc) * 2 ))" || status=$?
if ! wait "$asan_build"; then
    cat build-asan/build.log
    echo "test: the sanitizer build failed"
    exit 1
fi
[[ $status -eq 0 ]] || exit "$status"

scripts/sanitize.sh
scripts/fuzz.sh "${ORVEX_FUZZ_SECONDS:-3}"

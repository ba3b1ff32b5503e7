#!/usr/bin/env bash
# Set-up, build and run every test (headless): the test suite, then the engine's tests built
# with AddressSanitizer and UBSan, the tests of its threads with ThreadSanitizer, then a short
# run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh build
export QT_QPA_PLATFORM=offscreen

# The sanitizer trees compile while the first suite runs: those tests mostly wait on the line.
trees=(build-asan)
scripts/configure-asan.sh
if command -v clang++ >/dev/null; then
    scripts/configure-tsan.sh
    trees+=(build-tsan)
fi
build_trees() {
    for tree in "${trees[@]}"; do
        # Below the suite's priority: its simulated modules answer within the line's time-outs.
        nice -n 10 cmake --build "$tree" -j"$(nproc)" >"$tree/build.log" 2>&1 || { cat "$tree/build.log"; return 1; }
    done
}
build_trees &
trees_build=$!
status=0
ctest --test-dir build --output-on-failure -j"$(( $(nproc) * 2 ))" || status=$?
if ! wait "$trees_build"; then
    echo "test: a sanitizer build failed"
    exit 1
fi
[[ $status -eq 0 ]] || exit "$status"

scripts/sanitize.sh
scripts/threads.sh
scripts/fuzz.sh "${ORVEX_FUZZ_SECONDS:-3}"

#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang in the sanitizer tree build-asan and
# runs each for SECONDS (default 5) on a copy of its seed corpus, so the committed corpus
# never grows. Fails on a crash, a time-out or a sanitizer report; the input that did it is
# kept in build-asan/crashes/. Without clang it says so and succeeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
dir=build-asan

if ! command -v clang >/dev/null || ! command -v clang++ >/dev/null; then
    echo "fuzz: clang is not installed, the fuzz targets are skipped"
    exit 0
fi

targets=()
for source in tests/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$source" .cpp)")
done

scripts/configure-asan.sh
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

failed=0
for target in "${targets[@]}"; do
    mkdir -p "$work/$target/corpus" "$work/$target/found"
    if [[ -d tests/fuzz/corpus/$target ]]; then
        cp -r "tests/fuzz/corpus/$target/." "$work/$target/corpus/"
    fi
    if "$dir/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/$target/found/" "$work/$target/corpus" >"$work/$target/log" 2>&1; then
        echo "fuzz: $target ok ($(grep -o 'Done [0-9]* runs' "$work/$target/log" || echo 'no run count');" \
            "$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$work/$target/log" | tail -n 1))"
    else
        failed=1
        echo "fuzz: $target FAILED"
        tail -n 60 "$work/$target/log"
        mkdir -p "$dir/crashes"
        cp "$work/$target/found/"* "$dir/crashes/" 2>/dev/null || true
        echo "fuzz: the failing input is in $dir/crashes/"
    fi
done
exit $failed

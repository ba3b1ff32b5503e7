#!/usr/bin/env bash
# The whole ctest suite of build/ and the sanitizer stages (scripts/sanitize.sh: build-asan;
# scripts/threads.sh: build-tsan) five times in a row (or $1 times) while two other processes
# keep both cores busy: a test that depends on timing luck fails here. Builds first.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
scripts/build.sh build
busy=()
stop() { for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap stop EXIT
for _ in 1 2; do
    (while :; do :; done) &
    busy+=($!)
done
export QT_QPA_PLATFORM=offscreen
for ((run = 1; run <= runs; ++run)); do
    echo "soak: run $run of $runs, both cores busy"
    if ! ctest --test-dir build --output-on-failure -j"$(nproc)" || ! scripts/sanitize.sh ||
        ! scripts/threads.sh; then
        echo "soak: run $run failed"
        exit 1
    fi
done
echo "soak: $runs runs passed"

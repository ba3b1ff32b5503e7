#!/usr/bin/env bash
# Runs the tests five times in a row (or $2 times) while two other processes keep both cores
# busy: a test that depends on timing luck fails here.
#   scripts/soak.sh [--tree] [RUNS]  the suite of build/ and both sanitizer stages, built first
#   scripts/soak.sh --fresh [RUNS]   ./test.sh in a fresh clone of HEAD each time, as CI does;
#                                    each run's time is printed, the clones are removed
set -euo pipefail
cd "$(dirname "$0")/.."
mode=tree
[[ ${1:-} == --fresh || ${1:-} == --tree ]] && { mode=${1#--}; shift; }
runs=${1:-5}

busy=()
stop() { for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap stop EXIT

tree_run() {
    ctest --test-dir build --output-on-failure -j"$(nproc)" && scripts/sanitize.sh &&
        scripts/threads.sh
}
# The clone sits beside this tree, so ccache (base_dir above both) finds its objects.
fresh_run() {
    local clone
    clone=$(mktemp -d "$(dirname "$PWD")/soak.XXXXXX")
    git clone -q . "$clone"
    (cd "$clone" && ./test.sh) >"$clone.log" 2>&1 || { tail -60 "$clone.log"; return 1; }
    rm -rf "$clone" "$clone.log"
}

[[ $mode == tree ]] && scripts/build.sh build
for _ in 1 2; do
    (while :; do :; done) &
    busy+=($!)
done
export QT_QPA_PLATFORM=offscreen
for ((run = 1; run <= runs; ++run)); do
    echo "soak: run $run of $runs ($mode), both cores busy, $(git rev-parse --short HEAD)"
    start=$SECONDS
    if ! "${mode}_run"; then
        echo "soak: run $run failed after $((SECONDS - start)) s"
        exit 1
    fi
    echo "soak: run $run passed in $((SECONDS - start)) s"
done
echo "soak: $runs runs passed"

#!/usr/bin/env bash
# Builds everything that needs no windows with AddressSanitizer and UBSan into build-asan and
# runs its tests there. Fails on a failing test and on any sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-asan

cmake -S . -B "$dir" -G Ninja -DORVEX_SANITIZE=ON -DORVEX_GUI=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"

# A report from a process that still ended well (a helper process, a test that caught the
# abort) counts as well.
log="$dir/Testing/Temporary/LastTest.log"
if [[ -f "$log" ]] && grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$log"; then
    echo "sanitize: sanitizer report in $log"
    grep -nE 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$log" | head -20
    exit 1
fi
echo "sanitize: all tests clean"

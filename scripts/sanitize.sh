#!/usr/bin/env bash
# Builds the engine, the command-line tool, the simulator and their tests with AddressSanitizer
# and UBSan into build-asan (with clang, the same tree carries the fuzz targets: see fuzz.sh)
# and runs those tests there. The windows are tested in the normal build only: the browser
# engine they link is not built for the sanitizers. Fails on a failing test and on any
# sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/configure-asan.sh
dir=build-asan
cmake --build "$dir" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
# The forwarder test spends its time waiting on a delayed line; the code it reaches runs under
# the checks in the remote test already.
# The agent's tests compare what the built programs print byte for byte: the sanitizers' own
# reports would go there too (the agent's request reader is in the fuzz target instead).
ctest --test-dir "$dir" --output-on-failure -j"$(( $(nproc) * 2 ))" -E '^(remote\.ForwarderTest|agent\..*)$'

# A report from a process that still ended well (a helper process, a test that caught the
# abort) counts as well.
log="$dir/Testing/Temporary/LastTest.log"
if [[ -f "$log" ]] && grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$log"; then
    echo "sanitize: sanitizer report in $log"
    grep -nE 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$log" | head -20
    exit 1
fi
echo "sanitize: all tests clean"

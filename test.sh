#!/usr/bin/env bash
# Set-up, build and run every test (headless): the test suite, then the same suite built
# with AddressSanitizer and UBSan, then a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)"
scripts/sanitize.sh
scripts/fuzz.sh "${ORVEX_FUZZ_SECONDS:-5}"

#!/usr/bin/env bash
# Line coverage of the engine (module/, link/, files/, html/ without html/ui, sim/) over the
# tests of the build without windows, with clang's source-based coverage. Builds into
# build-cov/, runs the tests there (orvex-cli and headend-sim started by a test count too) and
# writes build-cov/coverage.txt: one line per folder and the total, then the files. The HTML
# report is in build-cov/html/. A failing test is reported, the figures are written all the same.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-cov
profdata=$(command -v llvm-profdata-14 || command -v llvm-profdata || true)
cov=$(command -v llvm-cov-14 || command -v llvm-cov || true)
if [[ -z "$profdata" || -z "$cov" ]] || ! command -v clang++ >/dev/null; then
    echo "coverage: needs clang++, llvm-profdata-14 and llvm-cov-14 (scripts/setup.sh installs them)" >&2
    exit 1
fi

flags="-fprofile-instr-generate -fcoverage-mapping"
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DORVEX_GUI=OFF -DORVEX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS=-fprofile-instr-generate >/dev/null
cmake --build "$dir" -j"$(nproc)"

rm -rf "$dir/profiles"
mkdir -p "$dir/profiles"
status=0
LLVM_PROFILE_FILE="$PWD/$dir/profiles/%p-%m.profraw" QT_QPA_PLATFORM=offscreen \
    ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" || status=$?
"$profdata" merge -sparse "$dir"/profiles/*.profraw -o "$dir/engine.profdata"

objects=()
for exe in "$dir"/bin/*; do
    [[ -x "$exe" && -f "$exe" ]] && objects+=(-object "$exe")
done
sources=()
while IFS= read -r f; do sources+=("$PWD/$f"); done < <(
    git ls-files -- 'module/*.cpp' 'module/*.h' 'link/*.cpp' 'link/*.h' 'files/*.cpp' 'files/*.h' \
        'html/*.cpp' 'html/*.h' 'sim/*.cpp' 'sim/*.h' ':!html/ui/*' ':!link/ui/*' ':!sim/main.cpp')
args=(-instr-profile "$dir/engine.profdata" "${objects[@]:1}")
"$cov" report "${args[@]}" "${sources[@]}" >"$dir/files.txt"
"$cov" show -format=html -output-dir="$dir/html" "${args[@]}" "${sources[@]}" >/dev/null

# Per folder: the line columns of the report (lines, missed lines) summed by first path part.
awk -v top="$PWD/" '
    $1 ~ /\.(cpp|h)$/ {
        name = $1; sub(top, "", name); split(name, part, "/")
        folder = part[1]
        lines[folder] += $(NF - 5); missed[folder] += $(NF - 4)
        total += $(NF - 5); totalMissed += $(NF - 4)
    }
    END {
        n = split("module link files html sim", order, " ")
        for (i = 1; i <= n; ++i) {
            f = order[i]
            if (lines[f] > 0)
                printf "%-8s %6d lines %6d missed %6.2f%%\n", f, lines[f], missed[f], 100 * (lines[f] - missed[f]) / lines[f]
        }
        printf "%-8s %6d lines %6d missed %6.2f%%\n", "total", total, totalMissed, 100 * (total - totalMissed) / total
    }' "$dir/files.txt" >"$dir/coverage.txt"
{
    echo
    cat "$dir/files.txt"
} >>"$dir/coverage.txt"
head -n 6 "$dir/coverage.txt"
echo "coverage: report in $dir/coverage.txt, $dir/html/index.html"
exit $status

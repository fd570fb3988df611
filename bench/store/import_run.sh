#!/usr/bin/env bash
# The model's import benchmarks (model_import_bench), each against its reference in the same run:
# the import's read against a bare SAX read of the same file; files of many groups or tasks of one
# name against a file of plain resources; many tasks against as many groups; the merge into a model
# that holds the same resources at two sizes against the merge into an empty model.
#   bench/store/import_run.sh            (after the x64 build)
#   KV_BENCH_COUNT=20000 bench/store/import_run.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$root/build/x64/bin/model_import_bench.exe
[ -x "$exe" ] || { echo "build first: $exe is missing (cmake --build build/x64 --target model_import_bench)"; exit 1; }
count=${KV_BENCH_COUNT:-100000}
out=$root/build/bench/import-out
mkdir -p "$out"
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || { echo "no Wine prefix at $WINEPREFIX: run scripts/test once"; exit 1; }
w() { local p=$1; echo "Z:${p//\//\\}"; }
echo "== the import's read of $count resources against a bare SAX read (median of three)"
"$root/scripts/wine-exec" "$exe" "$(w "$out")" "$count" read
echo "== many nodes of one name, merge off, against $count plain resources"
"$root/scripts/wine-exec" "$exe" "$(w "$out")" "$count" names
echo "== many tasks against as many groups"
"$root/scripts/wine-exec" "$exe" "$(w "$out")" "$count" tasks
for n in "$count" $((2 * count)); do
    echo "== merging a model file of $n resources (ratio to an empty model)"
    "$root/scripts/wine-exec" "$exe" "$(w "$out")" "$n" merge
done

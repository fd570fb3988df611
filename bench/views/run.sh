#!/usr/bin/env bash
# Benchmark of the views' lists: an owner-data list of 100 000 rows against a plain list filled
# with the same rows (fill, sort both ways, find), each time also as a ratio to the plain fill.
#   bench/views/run.sh                 (after the x64 build: scripts/test or cmake --build build/x64)
#   KV_BENCH_COUNT=20000 bench/views/run.sh
#   KV_BENCH_PROGRAM=viewer_bench bench/views/run.sh   (the program to run; default views_bench)
#   KV_BENCH_PROGRAM=delete_bench bench/views/run.sh   (100 000 resources deleted at once vs created)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
program=${KV_BENCH_PROGRAM:-views_bench}
exe=$root/build/x64/bin/$program.exe
[ -x "$exe" ] || { echo "build first: $exe is missing (cmake --build build/x64)"; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || { echo "no Wine prefix at $WINEPREFIX: run scripts/test once"; exit 1; }
kv_ensure_display
trap kv_stop_display EXIT
/usr/lib/wine/wineserver -p 2>/dev/null || true
out=$root/build/bench/${program%_bench}.txt
mkdir -p "$(dirname "$out")"
"$root/scripts/wine-exec" "$exe" "${KV_BENCH_COUNT:-100000}" > "$out" 2>&1 || { cat "$out"; exit 1; }
cat "$out"

#!/usr/bin/env bash
# The workstation resource report over a store of 100 000 resources: the plug-in's response and
# the report file, each as a ratio to loading the same store through the provider.
#   bench/report/resource_bench.sh            (after the x64 build: scripts/test or cmake --build build/x64)
#   KV_BENCH_COUNT=20000 bench/report/resource_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$root/build/x64/bin/resource_bench.exe
[ -f "$exe" ] || { echo "build first: $exe is missing (cmake --build build/x64)" >&2; exit 1; }
count=${KV_BENCH_COUNT:-100000}
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || { echo "no Wine prefix at $WINEPREFIX: run scripts/test once" >&2; exit 1; }
work=$root/build/bench/resource-report
mkdir -p "$work"
/usr/lib/wine/wineserver -p 2>/dev/null || true
"$root/scripts/wine-exec" "$exe" "Z:${work//\//\\}" "$count" < /dev/null

#!/usr/bin/env bash
# Benchmark of the structure tree: BuildTree of 10 000 tasks and of the folder tree of 100 000 file
# resources, each as a ratio to inserting as many plain items into the same control.
#   bench/views/tree_bench.sh             (after the x64 build)
#   bench/views/tree_bench.sh 20000 200000
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$root/build/x64/bin/tree_bench.exe
[ -x "$exe" ] || { echo "build first: $exe is missing (cmake --build build/x64)"; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || { echo "no Wine prefix at $WINEPREFIX: run scripts/test once"; exit 1; }
source "$root/scripts/lib.sh"
kv_ensure_display
/usr/lib/wine/wineserver -p 2>/dev/null || true
"$root/scripts/wine-exec" "$exe" "${1:-10000}" "${2:-100000}"

#!/usr/bin/env bash
# Benchmark of the registry picker: the dialog's opening and the expansion of HKEY_CLASSES_ROOT
# (every subkey listed, each tested for subkeys), against a plain listing of the same subkeys;
# the keys the dialog holds open against the keys expanded.
#   bench/pickers/run.sh        (after the x64 build: scripts/test or cmake --build build/x64)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
exe=$root/build/x64/bin/registry_bench.exe
[ -x "$exe" ] || { echo "build first: $exe is missing (cmake --build build/x64)"; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || { echo "no Wine prefix at $WINEPREFIX: run scripts/test once"; exit 1; }
kv_ensure_display
trap kv_stop_display EXIT
/usr/lib/wine/wineserver -p 2>/dev/null || true
out=$root/build/bench/registry.txt
mkdir -p "$(dirname "$out")"
"$root/scripts/wine-exec" "$exe" > "$out" 2>&1 || { cat "$out"; exit 1; }
cat "$out"

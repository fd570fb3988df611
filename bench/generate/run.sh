#!/usr/bin/env bash
# Runs the task-generator benchmark under Wine.
#   bench/generate/run.sh [products, default 200] [components, default 60000]
# Needs a built tree (cmake --build build/x64 --target generate_bench) and its Wine prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$root/build/x64/bin/generate_bench.exe
[ -f "$exe" ] || { echo "build first: $exe is missing" >&2; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
"$root/scripts/wine-exec" "$exe" "${1:-200}" "${2:-60000}" < /dev/null

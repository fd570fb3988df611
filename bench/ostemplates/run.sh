#!/usr/bin/env bash
# Benchmark of the Windows-templates operation of the start-up kind over the test prefix, as a ratio
# to walking the same modules with the dependency finder alone.
#   bench/ostemplates/run.sh [rounds, default 3]     (after scripts/test or a build of build/x64)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
[ -f "$root/build/x64/build.ninja" ] || cmake --preset x64 -S "$root" >/dev/null
cmake --build "$root/build/x64" --target ostemplates_bench >/dev/null
export WINEPREFIX=$root/build/wineprefix
[ -d "$WINEPREFIX/drive_c" ] || kv_test_prefix "$WINEPREFIX"
/usr/lib/wine/wineserver -p 2>/dev/null || true  # one may already be running for this prefix
cd "$root/build/x64/bin"
"$root/scripts/wine-exec" ostemplates_bench.exe "${1:-3}" </dev/null

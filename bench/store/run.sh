#!/usr/bin/env bash
# Benchmark of saving and loading 100 000 file resources (1 KB each): through the store provider
# (three rounds hashing on all processors, one round on one; each round measures the bare
# open-read-close of the same files first, and the ratios are taken within the round) and through
# the model's save (with the five board lists) and load. The board list's hashing time is shown apart.
#   bench/store/run.sh                  (after the x64 build: scripts/test or cmake --build build/x64)
#   KV_BENCH_COUNT=20000 bench/store/run.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$root/build/x64/bin/store_bench.exe
[ -x "$exe" ] || { echo "build first: $exe is missing (cmake --build build/x64)"; exit 1; }
count=${KV_BENCH_COUNT:-100000}
files=$root/build/bench/store-files
out=$root/build/bench/store-out
if [ ! -f "$files/.complete-$count" ]; then
    echo "== generating $count files under $files"
    rm -rf "$files"
    for ((d = 0; d * 1000 < count; d++)); do
        dir=$files/$(printf 'd%03d' $d)
        mkdir -p "$dir"
        python3 - "$dir" "$d" "$count" <<'PY'
import os, sys
d, n, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(min(1000, count - n * 1000)):
    with open(os.path.join(d, 'f%04d.dll' % i), 'wb') as f:
        f.write(os.urandom(1024))
PY
    done
    touch "$files/.complete-$count"
fi
mkdir -p "$out"
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || { echo "no Wine prefix at $WINEPREFIX: run scripts/test once"; exit 1; }
/usr/lib/wine/wineserver -p 2>/dev/null || true
w() { local p=$1; echo "Z:${p//\//\\}"; }
echo "== hashing on every processor"
"$root/scripts/wine-exec" "$exe" "$(w "$files")" "$(w "$out")" "$count" 0 3
echo "== hashing on one thread"
"$root/scripts/wine-exec" "$exe" "$(w "$files")" "$(w "$out")" "$count" 1 1
echo "== the model's save and load"
"$root/scripts/wine-exec" "$root/build/x64/bin/model_store_bench.exe" "$(w "$files")" "$(w "$out")" "$count"
echo "== bootfile.chk against sha256sum (first 3 lines)"
head -3 "$out/bootfile.chk"
(cd "$files/d000" && sha256sum f0000.dll f0001.dll f0002.dll)
echo "== merging a model file of $count resources into models of $count resources (ratio to an empty model)"
"$root/scripts/wine-exec" "$root/build/x64/bin/model_import_bench.exe" "$(w "$out")" "$count"

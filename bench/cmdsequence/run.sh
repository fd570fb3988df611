#!/usr/bin/env bash
# Benchmark of a command sequence run: a generated tree of 100 000 files (100 folders of 10
# subfolders of 100 files: .exe, .dll, .txt, .dat, .ini), one recursive command with the masks
# *.exe;*.dll, against find with the same masks on the same tree. Prints files per second of both,
# then the cost of constructing one sequence object (cmdsequence_ctor_bench.exe). Each run is
# also compared with the collection as it was before the single walk (one walk per pair of
# masks, sorted with lstrcmpiW), which is timed once; the lists must be identical.
#   bench/cmdsequence/run.sh            (after the x64 build: scripts/test or cmake --build build/x64)
#   KV_BENCH_TREE=/path bench/cmdsequence/run.sh   another place for the tree
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$root/build/x64/bin
exe=$bin/cmdsequence_bench.exe
[ -x "$exe" ] || { echo "build first: $exe is missing (cmake --build build/x64)"; exit 1; }
tree=${KV_BENCH_TREE:-$root/build/bench/cmdsequence-tree}

if [ ! -f "$tree/.complete" ]; then
    echo "== generating 100000 files under $tree"
    rm -rf "$tree"
    exts=(exe dll txt dat ini)
    for a in $(seq -w 0 99); do
        for b in $(seq 0 9); do
            d=$tree/app$a/sub$b
            mkdir -p "$d"
            (cd "$d" && for f in $(seq -w 0 99); do : > "f$f.${exts[$((10#$f % 5))]}"; done)
        done
    done
    touch "$tree/.complete"
fi

export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
[ -d "$WINEPREFIX" ] || { echo "no Wine prefix at $WINEPREFIX: run scripts/test once"; exit 1; }
/usr/lib/wine/wineserver -p 2>/dev/null || true  # already running is fine
winroot="Z:${tree//\//\\}"

echo "== find (host), best of 3"
best=""
for i in 1 2 3; do
    start=$(date +%s.%N)
    n=$(find "$tree" -type f \( -iname '*.exe' -o -iname '*.dll' \) | wc -l)
    t=$(echo "$(date +%s.%N) - $start" | bc)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
done
echo "files $n seconds $best files/s $(echo "$n / $best" | bc)"

echo "== command sequence, kind 0 (files by folder), under Wine, best of 3"
"$root/scripts/wine-exec" "$exe" "$winroot" "*.exe;*.dll" 0 3 compare
echo "== command sequence, kind 1 (folders with files), under Wine, best of 3"
"$root/scripts/wine-exec" "$exe" "$winroot" "*.exe;*.dll" 1 3 compare
echo "== constructing a sequence object (environment, drives, host addresses, shares), 50 objects"
"$root/scripts/wine-exec" "$bin/cmdsequence_ctor_bench.exe" 50

#!/usr/bin/env bash
# Benchmark of the dependency finder (x86-64 build):
#  1. every module of the test prefix's system32, each as a root of its own finder in one process
#     (as the command engine and the generators use it), against a walker written with Debian's
#     python3-pefile that walks the same roots with the same search order; the maps are compared
#     and the ratio of the two times printed;
#     then the same roots again with the process store filled, and a reference walker in the same
#     process that reads each import list and folder listing once and never checks them again
#     (the floor of the walk): medians of three and the ratio;
#  2. the hostile modules of tests/fixtures/linkwalk/makeflood.py beside their plain twins: the
#     time of each first walk and the ratio to the twin's;
#  3. modules whose imports and delay imports are 10 000 and 30 000 suffixes of one long string,
#     each walked in a process of its own: time and memory.
#   bench/linkwalk/run.sh            (after scripts/test or a build of build/x64)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
dpkg-query -W -f='${Status}' python3-pefile 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-pefile >/dev/null
[ -f "$root/build/x64/build.ninja" ] || cmake --preset x64 -S "$root" >/dev/null
cmake --build "$root/build/x64" --target linkwalk_bench linkwalk_fixtures >/dev/null
export WINEPREFIX=$root/build/wineprefix
[ -d "$WINEPREFIX/drive_c" ] || kv_test_prefix "$WINEPREFIX"
/usr/lib/wine/wineserver -p 2>/dev/null || true  # one may already be running for this prefix
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
maps=$(mktemp /tmp/linkwalk_maps.XXXXXX)
ours=$(mktemp /tmp/linkwalk_out.XXXXXX)
theirs=$(mktemp /tmp/linkwalk_pefile.XXXXXX)
cd "$root/build/x64/bin"
# A first run warms the file cache; the second is measured (a new process: nothing is kept).
"$root/scripts/wine-exec" linkwalk_bench.exe 'C:\windows\system32' </dev/null >/dev/null
"$root/scripts/wine-exec" linkwalk_bench.exe 'C:\windows\system32' "Z:${maps//\//\\}" </dev/null >"$ours"
/usr/bin/python3 "$root/bench/linkwalk/pewalk.py" "$WINEPREFIX" "$maps" >"$theirs"
cat "$ours" "$theirs"
LC_ALL=C awk '/^linkwalk:/ { for (i = 1; i <= NF; i++) if ($i == "in") a = $(i + 1) }
     /^pefile:/   { for (i = 1; i <= NF; i++) if ($i == "in") b = $(i + 1) }
     END { if (a > 0) printf "ratio: linkwalk %.1fx faster than the pefile walker on the same roots\n", b / a }' \
    "$ours" "$theirs"
# First walks, each walker in processes of its own, alternately: medians of five and their ratio.
for i in 1 2 3 4 5; do
    for w in reference finder; do
        "$root/scripts/wine-exec" linkwalk_bench.exe --first $w 'C:\windows\system32' </dev/null
    done
done | tee "$ours"
median() { grep "by the $1:" "$ours" | awk '{ print $9 }' | sort -n | sed -n 3p; }
f=$(median finder) r=$(median reference)
LC_ALL=C awk -v f="$f" -v r="$r" 'BEGIN { printf "first walks in processes of their own (median of 5): finder %.3f s, reference %.3f s, ratio %.2fx\n", f, r, f / r }'
"$root/scripts/wine-exec" linkwalk_bench.exe --flood "Z:${root//\//\\}\\build\\x64\\bin\\linkwalk_fixtures\\flood" </dev/null
sdir=$(mktemp -d /tmp/linkwalk_suffix.XXXXXX)
for n in 10000 30000; do
    "$root/scripts/wine-exec" linkwalk_bench.exe --suffixes "Z:${sdir//\//\\}" $n </dev/null
done
rm -rf "$maps" "$ours" "$theirs" "$sdir"

#!/usr/bin/env bash
# Checksum throughput of the software passport (CRC-32 over a file read in 0xFFFF-byte blocks,
# as the plug-in reads installed files) against the machine's cksum-class tools on one large file.
#   bench/report/crc_bench.sh [size in MB, default 256]
# Needs a built tree (scripts/test or cmake --build build/x64) and its Wine prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
size_mb=${1:-256}
exe=$root/build/x64/bin/crc_bench.exe
[ -f "$exe" ] || { echo "build first: $exe is missing" >&2; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/large.bin
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$file"
cat "$file" > /dev/null   # warm the page cache for every tool alike

rate() { # seconds → MB/s
    awk -v mb="$size_mb" -v s="$1" 'BEGIN { printf "%.1f", (s > 0 ? mb / s : 0) }'
}
timeit() { # best of three wall-clock runs of a command, in seconds
    local best=999999 t
    for _ in 1 2 3; do
        t=$( { /usr/bin/time -f %e "$@" > /dev/null; } 2>&1 | tail -1 )
        best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
    done
    echo "$best"
}

echo "file: $size_mb MB of random data"
want=$(python3 -c "import zlib,sys; print('%08X' % (zlib.crc32(open(sys.argv[1],'rb').read()) & 0xffffffff))" "$file")
/usr/lib/wine/wineserver -p 2>/dev/null || true
"$root/scripts/wine-exec" "$exe" "$(printf 'Z:%s' "$file" | tr / '\\')" 1 < /dev/null > /dev/null 2>&1 || true
out=$("$root/scripts/wine-exec" "$exe" "$(printf 'Z:%s' "$file" | tr / '\\')" 3 < /dev/null 2>/dev/null)
got=$(awk 'NR == 1 { print $2 }' <<< "$out")
secs=$(awk 'NR == 1 { print $6 }' <<< "$out")
printf '%-28s %8s MB/s   (crc %s, zlib says %s)\n' "passport CRC-32 (Wine)" "$(rate "$secs")" "$got" "$want"
printf '%-28s %8s MB/s\n' "passport CRC-32, memory only" "$(awk 'NR == 2 { print $4 }' <<< "$out")"
[ "$got" = "$want" ] || { echo "CRC MISMATCH" >&2; exit 1; }
for tool in cksum "cksum -a crc" sum md5sum; do
    set -- $tool
    command -v "$1" > /dev/null || continue
    "$@" "$file" > /dev/null 2>&1 || continue
    t=$(timeit "$@" "$file")
    printf '%-28s %8s MB/s\n' "$tool" "$(rate "$t")"
done
t=$(timeit python3 -c "import zlib,sys; zlib.crc32(open(sys.argv[1],'rb').read())" "$file")
printf '%-28s %8s MB/s\n' "python zlib.crc32" "$(rate "$t")"

#!/usr/bin/env bash
# Benchmark of the dependency finder: walks every module of the test prefix's system32 (x86-64
# build), each as a root, and reports modules per second; then a walker written with Debian's
# python3-pefile walks the same roots with the same search order, and the maps are compared.
#   bench/linkwalk/run.sh            (after scripts/test or a build of build/x64)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
dpkg-query -W -f='${Status}' python3-pefile 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-pefile >/dev/null
[ -f "$root/build/x64/build.ninja" ] || cmake --preset x64 -S "$root" >/dev/null
cmake --build "$root/build/x64" --target linkwalk_bench >/dev/null
export WINEPREFIX=$root/build/wineprefix
[ -d "$WINEPREFIX/drive_c" ] || kv_fresh_prefix "$WINEPREFIX"
/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
maps=$(mktemp /tmp/linkwalk_maps.XXXXXX)
cd "$root/build/x64/bin"
# A first run warms the file cache; the second is measured.
"$root/scripts/wine-exec" linkwalk_bench.exe 'C:\windows\system32' </dev/null >/dev/null
"$root/scripts/wine-exec" linkwalk_bench.exe 'C:\windows\system32' "Z:${maps//\//\\}" </dev/null
/usr/bin/python3 "$root/bench/linkwalk/pewalk.py" "$WINEPREFIX" "$maps"
rm -f "$maps"

#!/usr/bin/env bash
# check_ordinals.sh <objdump> <dll> <ordinal>=<name>...: the DLL exports exactly these names, each
# at its ordinal. Runs on the host, so DLLs of either architecture are checked.
set -u
export LC_ALL=C  # objdump prints its headings in the caller's language otherwise
objdump=$1 dll=$2; shift 2
dump=$("$objdump" -p "$dll") || { echo "objdump failed on $dll"; exit 1; }
base=$(sed -n 's/^Export Address Table -- Ordinal Base \([0-9]*\).*/\1/p' <<<"$dump")
[ -n "$base" ] || { echo "no export table in $dll"; exit 1; }
table=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -E '^\s*\[ *[0-9]+\]')
status=0
for pair in "$@"; do
    ordinal=${pair%%=*} name=${pair#*=}
    index=$((ordinal - base))
    if grep -Eq "^\s*\[ *${index}\] ${name}\$" <<<"$table"; then
        echo "exported: $name @$ordinal"
    else
        echo "MISSING or misplaced: $name @$ordinal"; status=1
    fi
done
count=$(grep -c . <<<"$table")
if [ "$count" -ne $# ]; then
    echo "the DLL exports $count names, expected $#:"; echo "$table"; status=1
fi
exit $status

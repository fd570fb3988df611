#!/usr/bin/env bash
# check_exports.sh <objdump> <dll> <name>...: every name must occur in the DLL's export table.
set -u
export LC_ALL=C  # objdump prints its headings in the caller's language otherwise
objdump=$1 dll=$2; shift 2
table=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
[ -n "$table" ] || { echo "no export table in $dll"; exit 1; }
status=0
for name in "$@"; do
    if grep -q -- "$name" <<<"$table"; then
        echo "exported: $(grep -- "$name" <<<"$table" | head -1 | awk '{print $NF}')"
    else
        echo "MISSING: $name"; status=1
    fi
done
exit $status

#!/usr/bin/env bash
# runpath.sh BUILD_TREE DIR...: fails when an ELF file under a DIR has a RUNPATH or RPATH entry
# that is empty or relative (the loader reads both against the current directory) or that
# points into BUILD_TREE. Used by CTest over build/bin and an assembled bundle, and by
# scripts/bundle.
set -uo pipefail
tree=$(readlink -f "$1")
shift
bad=0 checked=0
while IFS= read -r -d '' file; do
    [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    checked=$((checked + 1))
    paths=$(readelf -d "$file" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p')
    # grep reads to the end (no -q): readelf must not die of SIGPIPE under pipefail.
    readelf -d "$file" | grep -E '\((RUNPATH|RPATH)\)' > /dev/null || continue
    # An entry list "a::b" or ":a" holds empty entries; split keeping them.
    while IFS= read -r entry; do
        # shellcheck disable=SC2016 # the loader's $ORIGIN, literally
        case $entry in
        '') reason="an empty entry" ;;
        "$tree" | "$tree"/*) reason="a build-tree entry $entry" ;;
        /* | '$ORIGIN' | '$ORIGIN'/*) continue ;;
        *) reason="a relative entry $entry" ;;
        esac
        echo "$file: RUNPATH/RPATH [$paths] has $reason" >&2
        bad=$((bad + 1))
        break
    done < <(printf '%s\n' "$paths" | tr ':' '\n')
done < <(find "$@" -type f -print0)
echo "$checked ELF files checked, $bad with an unsafe RUNPATH"
[ "$checked" -gt 0 ] && [ "$bad" -eq 0 ]

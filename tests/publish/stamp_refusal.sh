#!/usr/bin/env bash
# An installer that was never stamped, or whose stamp is damaged, shows no window: one line on
# standard error, nothing else, status 1. Usage: stamp_refusal.sh INSTALLER ZAV_STAMP WORKDIR
# (INSTALLER unstamped).
set -uo pipefail
installer=$1 stamp=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail() { echo "FAIL: $*" >&2; exit 1; }
# Row: name # stamped first (yes/no) # byte offset in the section and the byte written # what the
# line says.
while IFS='#' read -r name stamped at byte expected; do
    cp "$installer" "$name"
    if [ "$stamped" = yes ]; then
        "$stamp" "$name" --feed-url https://example.com/feed.json --allow-unsigned ||
            fail "$name: zav-stamp failed"
    fi
    if [ -n "$at" ]; then
        objcopy --dump-section .zav_stamp=section "$name" || fail "$name: no section"
        printf '%b' "\\x$byte" | dd of=section bs=1 seek="$at" conv=notrunc 2> /dev/null
        objcopy --update-section .zav_stamp=section "$name" || fail "$name: not updated"
    fi
    status=0
    env -u DISPLAY QT_QPA_PLATFORM=offscreen HOME="$work" TMPDIR="$work" timeout 20 "./$name" \
        > out.log 2> err.log || status=$?
    [ "$status" = 1 ] || fail "$name: status $status, not 1: $(cat err.log)"
    [ ! -s out.log ] && [ "$(wc -l < err.log)" = 1 ] && grep -q -- "$expected" err.log ||
        fail "$name: not one line saying \"$expected\": $(cat out.log err.log)"
    echo "ok: $name"
done <<'ROWS'
unstamped#no###no feed stamped into it
checksum#yes#40#41#checksum mismatch
magic#yes#0#58#bad magic
version#yes#8#02#format version 2
unstamped_but_altered#no#100#01#checksum mismatch
ROWS
echo "1 passed, 0 failed"

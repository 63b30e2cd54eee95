#!/usr/bin/env bash
# The remover that zav-pkg copies into a home: a static program under 2 MB once stripped, that
# removes a product when started with nothing of the environment but HOME, and goes itself with
# the last product.
#   remover.sh BIN WORKDIR
set -uo pipefail
bin=$1 work=$2
rm -rf "$work" && mkdir -p "$work/home" "$work/pkg/bin"
fail() { echo "FAIL: $*" >&2; exit 1; }

id=org.example.Removed
printf '#!/bin/sh\necho hi\n' > "$work/pkg/bin/app" && chmod 755 "$work/pkg/bin/app"
printf '[Desktop Entry]\nType=Application\nName=Removed\nExec=bin/app\n' > "$work/pkg/$id.desktop"
tar -czf "$work/package.tar.gz" -C "$work/pkg" . || fail "cannot pack"
"$bin/zav-pkg" -pkg "$work/package.tar.gz" -target "$work/home" || fail "install"

remover=$work/home/.local/share/zav/bin/zav-remove
[ -x "$remover" ] || fail "no remover in the home"
if [ -z "${ZAV_SANITIZE:-}" ]; then
    readelf -d "$remover" | grep -q NEEDED && fail "the remover needs shared libraries"
    strip -o "$work/stripped" "$remover" || fail "strip"
    [ "$(stat -c %s "$work/stripped")" -lt $((2 * 1024 * 1024)) ] || fail "stripped remover over 2 MB"
fi

env -i HOME="$work/home" "$remover" -id "$id" || fail "the remover failed with only HOME set"
[ -e "$work/home/.local/opt/$id" ] && fail "the application directory is still there"
[ -d "$work/home/.local/share/Trash/files/$id" ] || fail "the application directory is not in the trash"
grep -qx "Path=$work/home/.local/opt/$id" "$work/home/.local/share/Trash/info/$id.trashinfo" ||
    fail "no trash info"
[ -e "$remover" ] && fail "the remover outlived the last product"
[ -e "$work/home/.local/share/applications/$id.desktop" ] && fail "the desktop entry stayed"
echo "remover: ok"

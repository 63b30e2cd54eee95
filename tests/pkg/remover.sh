#!/usr/bin/env bash
# The remover that zav-pkg copies into a home: a static program under 2 MB once stripped, that
# removes a product when started with nothing of the environment but HOME, and goes itself with
# the last product. It is started from the desktop entry's Uninstall action through GIO, as a
# menu starts it, in a home whose path has a space (the action's Exec quotes it).
#   remover.sh BIN WORKDIR
set -uo pipefail
bin=$1 work=$2
home="$2/my home"
rm -rf "$work" && mkdir -p "$home" "$work/pkg/bin"
fail() { echo "FAIL: $*" >&2; exit 1; }

id=org.example.Removed
printf '#!/bin/sh\necho hi\n' > "$work/pkg/bin/app" && chmod 755 "$work/pkg/bin/app"
printf '[Desktop Entry]\nType=Application\nName=Removed\nExec=bin/app\n' > "$work/pkg/$id.desktop"
tar -czf "$work/package.tar.gz" -C "$work/pkg" . || fail "cannot pack"
"$bin/zav-pkg" -pkg "$work/package.tar.gz" -target "$home" || fail "install"

remover=$home/.local/share/zav/bin/zav-remove
[ -x "$remover" ] || fail "no remover in the home"
if [ -z "${ZAV_SANITIZE:-}" ]; then
    readelf -d "$remover" | grep -q NEEDED && fail "the remover needs shared libraries"
    strip -o "$work/stripped" "$remover" || fail "strip"
    [ "$(stat -c %s "$work/stripped")" -lt $((2 * 1024 * 1024)) ] || fail "stripped remover over 2 MB"
fi

entry=$home/.local/share/applications/$id.desktop
env -i HOME="$home" PATH=/usr/bin:/bin /usr/bin/python3 -c '
import sys, gi
gi.require_version("Gio", "2.0")
from gi.repository import Gio
Gio.DesktopAppInfo.new_from_filename(sys.argv[1]).launch_action("zav-uninstall", None)
' "$entry" || fail "cannot start the Uninstall action"
# The menu does not wait for it; the remover removes itself last.
for _ in $(seq 1 100); do [ -e "$remover" ] || break; sleep 0.1; done
[ -e "$home/.local/opt/$id" ] && fail "the application directory is still there"
[ -d "$home/.local/share/Trash/files/$id" ] || fail "the application directory is not in the trash"
grep -qx "Path=${home// /%20}/.local/opt/$id" "$home/.local/share/Trash/info/$id.trashinfo" ||
    fail "no trash info"
[ -e "$remover" ] && fail "the remover outlived the last product"
[ -e "$entry" ] && fail "the desktop entry stayed"
[ -z "$(ls -A "$home/.local/share/zav/receipts" 2>/dev/null)" ] || fail "a receipt or record stayed"
echo "remover: ok"

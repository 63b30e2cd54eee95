#!/usr/bin/env bash
# An update while a single-instance product runs (single_instance_product.sh: one copy per
# user, 3 s of saving after SIGTERM, a second copy hands over to the first and exits). 1.0 is
# installed and running, 2.0 is in the feed with autoLaunch; Escape leaves the quit alert up,
# "Quit & Install" answers it. The installer waits for 1.0 to finish saving before the swap,
# then starts 2.0: afterwards exactly one copy runs, and it is 2.0.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"

pack() {
    local version=$1 stage=$E2E_WORK/stage-$1
    mkdir -p "$stage/bin"
    cp "$(dirname "$0")/single_instance_product.sh" "$stage/bin/product"
    chmod 755 "$stage/bin/product"
    echo "$version" > "$stage/VERSION"
    printf '[Desktop Entry]\nType=Application\nName=Zav Single\nExec=bin/product\nX-Package-Version=%s\n' \
        "$version" > "$stage/$E2E_APP_ID.desktop"
    tar -C "$stage" -czf "$E2E_WORK/www/packages/Single-$version.tar.gz" .
}
alive() {
    [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}
records=$E2E_WORK/records
pack 1.0
pack 2.0
"$ZAV_BINARY_DIR/bin/zav-pkg" -pkg "$E2E_WORK/www/packages/Single-1.0.tar.gz" \
    -target "$E2E_HOME" > /dev/null || e2e_fail "could not install version 1.0"
program=$E2E_HOME/.local/opt/$E2E_APP_ID/bin/product
entry=$E2E_HOME/.local/share/applications/$E2E_APP_ID.desktop

# Started from its desktop entry, as a user starts it from the menu.
start_copy() {
    (e2e_env env GIO_LAUNCHED_DESKTOP_FILE="$entry" GIO_LAUNCHED_DESKTOP_FILE_PID="$BASHPID" \
        "$program" > /dev/null 2>&1) &
}
start_copy
for _ in $(seq 1 50); do ls "$records"/*.started > /dev/null 2>&1 && break; sleep 0.1; done
old=$(basename "$(find "$records" -name '*.started' | head -1)" .started)
[ -n "$old" ] || e2e_fail "1.0 did not start"
# The product really is single-instance: a second copy hands over and exits.
start_copy
for _ in $(seq 1 50); do ls "$records"/*.handover > /dev/null 2>&1 && break; sleep 0.1; done
ls "$records"/*.handover > /dev/null 2>&1 || e2e_fail "a second copy of 1.0 did not hand over"
rm -f "$records"/*.handover

e2e_feed "{\"product\": \"Zav Single\", \"bundleId\": \"$E2E_APP_ID\", \"version\": \"2.0\",
 \"pkgUrl\": \"$E2E_BASE/packages/Single-2.0.tar.gz\", \"autoLaunch\": true}"
e2e_start_server
e2e_run_installer
e2e_wait_for_window "Quit and continue installation"
sleep 0.3
DISPLAY=$E2E_DISPLAY xdotool windowfocus --sync "$E2E_WINDOW" key --clearmodifiers Escape
sleep 1
[ -n "$(e2e_windows "Quit and continue installation")" ] || e2e_fail "Escape answered the quit alert"
[ -e "$records/$old.saved" ] && e2e_fail "Escape asked the running copy to quit"
e2e_press_return
e2e_wait_for_line "Waiting up to 15 s for pid $old to quit" 10
e2e_wait_for_exit 60
[ "$E2E_STATUS" -eq 0 ] || e2e_fail "the installer ended with status $E2E_STATUS"
e2e_has_line "pid $old has quit" || e2e_fail "the installer did not see 1.0 quit"
[ "$(cat "$records/$old.saved" 2>/dev/null)" = 1.0 ] || e2e_fail "1.0 did not finish saving"
[ "$(cat "$E2E_HOME/.local/opt/$E2E_APP_ID/VERSION")" = 2.0 ] || e2e_fail "2.0 was not installed"

new=
for _ in $(seq 1 100); do
    for f in "$records"/*.started; do
        [ "$(cat "$f")" = 2.0 ] && new=$(basename "$f" .started)
    done
    [ -n "$new" ] && break
    sleep 0.1
done
[ -n "$new" ] || e2e_fail "2.0 was not started"
sleep 1 # a copy that hands over exits meanwhile
! ls "$records"/*.handover > /dev/null 2>&1 || e2e_fail "2.0 handed over to a copy: $(cat "$records"/*.handover)"
running=()
for f in "$records"/*.started; do
    pid=$(basename "$f" .started)
    alive "$pid" && running+=("$pid:$(cat "$f")")
done
[ "${running[*]}" = "$new:2.0" ] || e2e_fail "running afterwards: ${running[*]:-nothing}, not 2.0 alone"
e2e_pass

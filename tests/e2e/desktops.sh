#!/usr/bin/env bash
# A whole installation (autoLaunch) through a .run made of the installer, on each kind of
# desktop, with no platform named: Wayland alone (weston's headless backend, DISPLAY unset),
# X11 alone (Xvfb), both (Wayland is taken), and neither (one line on standard error, status 1,
# no abort). The product inherits none of the bundle's platform settings.
set -uo pipefail
if ! command -v weston > /dev/null; then
    echo "skipped: weston is not installed (scripts/lib/deps.sh names it)"
    exit 77
fi
source "$ZAV_SOURCE_DIR/scripts/lib/bundle.sh"
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
dist=$E2E_WORK/dist
mkdir -p "$dist"
if ! zav_bundle_folder "$(dirname "$1")" "$dist" e2e "$1" >/dev/null ||
    ! ZAV_BUNDLE_GZIP=-1 zav_bundle_pack "$dist" e2e; then
    e2e_fail "no bundle"
fi
rm -rf "$dist/e2e"
E2E_INSTALLER=$dist/e2e-x86_64.run

# weston on a socket of this run's own, in a private runtime folder.
runtime=$E2E_WORK/runtime socket=zav-e2e-$$-$RANDOM
mkdir -m 700 "$runtime"
XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket="$socket" --idle-time=0 \
    > "$E2E_WORK/weston.log" 2>&1 &
weston=$!
trap 'kill "$weston" 2>/dev/null; e2e_cleanup' EXIT
for _ in $(seq 1 100); do [ -S "$runtime/$socket" ] && break; sleep 0.1; done
[ -S "$runtime/$socket" ] || { cat "$E2E_WORK/weston.log" >&2; e2e_fail "weston did not start"; }

e2e_package 2.0
e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\", \"version\": \"2.0\",
 \"pkgUrl\": \"$E2E_BASE/packages/ZavFixture-2.0.tar.gz\", \"autoLaunch\": true}"
e2e_start_server

# run ROW VARIABLE=VALUE...: the .run with only the given display variables; status in E2E_STATUS.
run() {
    local row=$1
    shift
    e2e_stop_fixtures
    rm -rf "$E2E_HOME" "$E2E_WORK/records" && mkdir -p "$E2E_HOME" "$E2E_WORK/records"
    (e2e_env env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$runtime" "$@" \
        "$E2E_INSTALLER" > "$E2E_LOG" 2> "$E2E_WORK/stderr") &
    E2E_PID=$!
    e2e_wait_for_exit 90
    cat "$E2E_WORK/stderr" >> "$E2E_LOG"
    echo "$row: status $E2E_STATUS"
}
installed() { # ROW: the product installed and started, with none of the bundle's settings
    local started environment
    [ "$E2E_STATUS" -eq 0 ] || e2e_fail "$1: the installer ended with status $E2E_STATUS"
    [ "$(cat "$E2E_HOME/.local/opt/$E2E_APP_ID/VERSION" 2>/dev/null)" = 2.0 ] ||
        e2e_fail "$1: the product is not installed"
    for _ in $(seq 1 100); do ls "$E2E_WORK"/records/*.started > /dev/null 2>&1 && break; sleep 0.1; done
    started=$(find "$E2E_WORK/records" -name '*.started' | head -1)
    [ -n "$started" ] || e2e_fail "$1: the product was not started"
    environment=$(tr '\0' '\n' < "/proc/$(basename "$started" .started)/environ")
    ! printf '%s\n' "$environment" | grep -E '^(QT_QPA_[A-Z_]*|QT_PLUGIN_PATH|QT_WAYLAND_[A-Z_]*|ZAV_BUNDLE_VARS|ZAV_SAVED_[A-Z_]*)=' ||
        e2e_fail "$1: the product inherited the bundle's settings above"
}

run wayland WAYLAND_DISPLAY="$socket"
installed wayland
run x11 DISPLAY="$E2E_DISPLAY"
installed x11
# With both, Wayland's protocol is spoken (its log, asked for with WAYLAND_DEBUG).
run both WAYLAND_DISPLAY="$socket" DISPLAY="$E2E_DISPLAY" WAYLAND_DEBUG=client
installed both
grep -q "xdg_toplevel" "$E2E_WORK/stderr" || e2e_fail "both: the window did not open on Wayland"
run neither
[ "$E2E_STATUS" -eq 1 ] || e2e_fail "neither: status $E2E_STATUS, not 1"
[ "$(wc -l < "$E2E_WORK/stderr")" -eq 1 ] && grep -q "no display" "$E2E_WORK/stderr" ||
    e2e_fail "neither: not one line on standard error: $(cat "$E2E_WORK/stderr")"
e2e_pass

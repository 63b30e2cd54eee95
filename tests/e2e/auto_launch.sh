#!/usr/bin/env bash
# autoLaunch: the package is downloaded and installed, the product is started, the installer
# ends with status 0 and leaves no package behind.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
e2e_package 2.0
e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\", \"version\": \"2.0\",
 \"pkgUrl\": \"$E2E_BASE/packages/ZavFixture-2.0.tar.gz\", \"autoLaunch\": true,
 \"displayVersion\": true}"
e2e_start_server
e2e_run_installer
e2e_wait_for_exit 60
[ "$E2E_STATUS" -eq 0 ] || e2e_fail "the installer ended with status $E2E_STATUS"

e2e_has_line "Downlaoded" || e2e_fail "no \"Downlaoded\""
# Launching the product ends the installer on the spot: the line after it is never reached.
e2e_has_line "Install complete" && e2e_fail "\"Install complete\" was logged before the launch ended the run"

app=$E2E_HOME/.local/opt/$E2E_APP_ID
[ "$(cat "$app/VERSION" 2>/dev/null)" = 2.0 ] || e2e_fail "the product is not installed"
[ -f "$E2E_HOME/.local/share/applications/$E2E_APP_ID.desktop" ] || e2e_fail "no desktop entry"
for _ in $(seq 1 100); do
    ls "$E2E_WORK"/records/*.started > /dev/null 2>&1 && break
    sleep 0.1
done
started=$(find "$E2E_WORK/records" -name '*.started' 2>/dev/null | head -1)
[ -n "$started" ] || e2e_fail "the product was not started"
grep -q "^$app/" "$started" || e2e_fail "the running copy is not the installed one: $(cat "$started")"
pid=$(basename "$started" .started)
kill -0 "$pid" 2>/dev/null || e2e_fail "the product did not keep running after the installer ended"
[ -z "$(ls -A "$E2E_WORK/tmp/zav-$(id -u)" 2>/dev/null)" ] || e2e_fail "the package was left behind"
# The product inherits the user's environment, not the installer's loader or helpers, and says
# it came from its desktop entry (how a running copy is recognised). bundle.sh runs this with
# the installer inside a .run, whose unpacked folder must be gone.
environment=$(tr '\0' '\n' < "/proc/$pid/environ")
leaked=$(printf '%s\n' "$environment" |
    grep -E '^(LD_LIBRARY_PATH|LD_PRELOAD|GIO_LAUNCH_DESKTOP|GIO_MODULE_DIR|FONTCONFIG_FILE|QT_PLUGIN_PATH|ZAV_BUNDLE_VARS|ZAV_SAVED_[A-Z_]*)=')
[ -z "$leaked" ] || e2e_fail "the product inherited: $leaked"
printf '%s\n' "$environment" | grep -qx "GIO_LAUNCHED_DESKTOP_FILE=.*/$E2E_APP_ID.desktop" ||
    e2e_fail "the product does not name its desktop entry"
if [ -n "${ZAV_E2E_BUNDLED:-}" ]; then
    ! ls -d "$E2E_WORK"/tmp/e2e.* 2>/dev/null || e2e_fail "the unpacked folder was left behind"
    grep -q "error while loading" "$E2E_LOG" && e2e_fail "a loader error"
fi
e2e_pass

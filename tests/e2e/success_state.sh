#!/usr/bin/env bash
# Without autoLaunch the installer ends on the success state and quits when its button is
# pressed.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
e2e_package 2.0
e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\", \"version\": \"2.0\",
 \"pkgUrl\": \"$E2E_BASE/packages/ZavFixture-2.0.tar.gz\", \"autoLaunch\": false}"
e2e_start_server
e2e_run_installer
e2e_wait_for_line "Install complete"
kill -0 "$E2E_PID" 2>/dev/null || e2e_fail "the installer ended without waiting for the user"
[ -d "$E2E_HOME/.local/opt/$E2E_APP_ID" ] || e2e_fail "the product is not installed"
ls "$E2E_WORK"/records/*.started > /dev/null 2>&1 && e2e_fail "the product was started"
e2e_wait_for_window "Zav Fixture Installer"
e2e_press_space
e2e_wait_for_exit 20
[ "$E2E_STATUS" -eq 0 ] || e2e_fail "the installer ended with status $E2E_STATUS"
e2e_pass

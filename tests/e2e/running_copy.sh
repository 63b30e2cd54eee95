#!/usr/bin/env bash
# A copy of the product runs before the run: the quit alert appears, "Quit & Install" sends that
# copy SIGTERM, and the install goes on.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
e2e_package 1.0
e2e_package 2.0
"$ZAV_BINARY_DIR/bin/zav-pkg" -pkg "$E2E_WORK/www/packages/ZavFixture-1.0.tar.gz" \
    -target "$E2E_HOME" > /dev/null || e2e_fail "could not install version 1.0"
(e2e_env "$E2E_HOME/.local/opt/$E2E_APP_ID/bin/zav-fixture" > /dev/null 2>&1) &
for _ in $(seq 1 50); do ls "$E2E_WORK"/records/*.started > /dev/null 2>&1 && break; sleep 0.1; done
copy=$(basename "$(find "$E2E_WORK/records" -name '*.started' | head -1)" .started)
[ -n "$copy" ] || e2e_fail "the copy of 1.0 did not start"

e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\", \"version\": \"2.0\",
 \"pkgUrl\": \"$E2E_BASE/packages/ZavFixture-2.0.tar.gz\", \"autoLaunch\": false}"
e2e_start_server
e2e_run_installer
e2e_wait_for_window "Quit and continue installation"
[ -e "$E2E_WORK/records/$copy.terminated" ] && e2e_fail "the copy was asked to quit before the answer"
e2e_press_return
for _ in $(seq 1 50); do [ -e "$E2E_WORK/records/$copy.terminated" ] && break; sleep 0.1; done
[ -e "$E2E_WORK/records/$copy.terminated" ] || e2e_fail "the running copy got no SIGTERM"
[ "$(cat "$E2E_WORK/records/$copy.terminated")" = "$E2E_PID" ] ||
    e2e_fail "SIGTERM came from someone else"
e2e_wait_for_line "Install complete"
[ "$(cat "$E2E_HOME/.local/opt/$E2E_APP_ID/VERSION")" = 2.0 ] || e2e_fail "2.0 was not installed"
e2e_pass

#!/usr/bin/env bash
# The window as a screen reader reads it through the real accessibility stack (AT-SPI over its
# own D-Bus session, read with pyatspi; the installer with accessibility always on): the
# downloading state, the quit alert for a running copy and the error alert, each alert answered
# through its button's action.
set -uo pipefail
# Skipped only where the stack is not there (scripts/test installs it: scripts/lib/deps.sh).
if ! command -v dbus-run-session > /dev/null || ! /usr/bin/python3 -c 'import pyatspi' 2> /dev/null ||
    ! [ -x /usr/libexec/at-spi-bus-launcher ]; then
    echo "skipped: at-spi2-core, python3-pyatspi or dbus is not installed"
    exit 77
fi
if [ -z "${ZAV_E2E_DBUS:-}" ]; then
    ZAV_E2E_DBUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
reader() { DISPLAY=$E2E_DISPLAY /usr/bin/python3 "$(dirname "$0")/atspi_tree.py" "$@" || e2e_fail "AT-SPI: $*"; }
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
e2e_package 1.0
e2e_package 2.0
feed() { # package autoLaunch
    e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\", \"version\": \"2.0\",
 \"pkgUrl\": \"$E2E_BASE/packages/$1\", \"autoLaunch\": $2, \"displayVersion\": true}"
}
# Slow enough for the detail line to be read while the package comes.
ZAV_NGINX_EXTRA='location /packages/ { limit_rate 8k; }' e2e_start_server

# 1. Downloading, with a copy of 1.0 running: then the quit alert.
"$ZAV_BINARY_DIR/bin/zav-pkg" -pkg "$E2E_WORK/www/packages/ZavFixture-1.0.tar.gz" \
    -target "$E2E_HOME" > /dev/null || e2e_fail "could not install version 1.0"
(e2e_env "$E2E_HOME/.local/opt/$E2E_APP_ID/bin/zav-fixture" > /dev/null 2>&1) &
feed ZavFixture-2.0.tar.gz true
e2e_run_installer
reader downloading "Zav Fixture"
reader alert "Quit and continue installation" "Quit & Install"
e2e_wait_for_exit 120
[ "$E2E_STATUS" -eq 0 ] || e2e_fail "the installation ended with status $E2E_STATUS"
e2e_stop_fixtures

# 2. The error alert, answered through its button: the run fails.
feed ZavFixture-missing.tar.gz true
e2e_run_installer
reader alert "Could not complete installation" "Quit Installation"
e2e_wait_for_exit 20
[ "$E2E_STATUS" -eq 1 ] || e2e_fail "the error alert's run ended with status $E2E_STATUS"
e2e_pass

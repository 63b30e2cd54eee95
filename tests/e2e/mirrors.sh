#!/usr/bin/env bash
# The package's own host fails (the proxy answers 502, as it does for a host it cannot reach):
# the pinned package is installed from the feed's first mirror, and the log says which place
# served the bytes.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
e2e_package 2.0
pkg=$E2E_WORK/www/packages/ZavFixture-2.0.tar.gz
e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\", \"version\": \"2.0\",
 \"pkgUrl\": \"$E2E_BASE/down/ZavFixture-2.0.tar.gz\", \"autoLaunch\": false,
 \"pkgMirrors\": [\"$E2E_BASE/packages/ZavFixture-2.0.tar.gz\"],
 \"pkgSha256\": \"$(sha256sum < "$pkg" | cut -d' ' -f1)\", \"pkgSize\": $(stat -c %s "$pkg")}"
ZAV_NGINX_EXTRA='location /down/ { return 502; }' e2e_start_server
e2e_run_installer
e2e_wait_for_line "Install complete"
[ "$(cat "$E2E_HOME/.local/opt/$E2E_APP_ID/VERSION" 2> /dev/null)" = 2.0 ] ||
    e2e_fail "version 2.0 is not installed"
e2e_has_line "Download: .*/packages/ZavFixture-2.0.tar.gz served bytes 0 to .*" ||
    e2e_fail "no line naming the mirror that served the package"
e2e_wait_for_window "Zav Fixture Installer"
e2e_press_space
e2e_wait_for_exit 20
[ "$E2E_STATUS" -eq 0 ] || e2e_fail "the installer ended with status $E2E_STATUS"
e2e_pass

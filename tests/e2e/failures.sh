#!/usr/bin/env bash
# Each failure ends in exactly one error alert whose button quits with status 1, with nothing
# installed: feed 404, package 404, a package that zav-pkg refuses, the server gone
# mid-download; and SIGTERM mid-download leaves no partial file.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
work=$E2E_WORK

feed_for() {
    e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\",
     \"pkgUrl\": \"$E2E_BASE/packages/$1\", \"autoLaunch\": true}"
}

# 1. The feed is not there.
e2e_start_server
e2e_run_installer
e2e_expect_one_error_alert "feed 404" ""
e2e_has_line "Error was .*\(HTTP 404\)\.\"" || e2e_fail "feed 404: no \"Error was\" naming the status"

# 2. The package is not there.
feed_for missing.tar.gz
e2e_run_installer
e2e_expect_one_error_alert "package 404" ""
e2e_has_line "Downlaoded" || e2e_fail "package 404: no \"Downlaoded\""
e2e_has_line "Installing Zav Fixture" && e2e_fail "package 404: the install stage was reached"

# 3. A package that zav-pkg refuses: an HTML page served as the package.
echo '<html><body>Sorry</body></html>' > "$work/www/packages/page.tar.gz"
feed_for page.tar.gz
e2e_run_installer
e2e_expect_one_error_alert "refused package" ""
ls "$work/tmp/zav-$(id -u)/tmp-page.tar.gz" > /dev/null 2>&1 ||
    e2e_fail "refused package: the downloaded package should stay for a look"

# 4. The server goes away in the middle of the download.
head -c $((64 * 1024 * 1024)) /dev/urandom > "$work/www/packages/big.tar.gz"
feed_for big.tar.gz
ZAV_NGINX_EXTRA='location /packages/ { limit_rate 2m; }' e2e_start_server
e2e_run_installer
e2e_wait_for_line "Start download: $E2E_BASE/packages/big.tar.gz"
for _ in $(seq 1 100); do grep -q '\] Progress is [1-9]' "$E2E_LOG" && break; sleep 0.1; done
kill -KILL "$(cat "$work/nginx/server.pid")"
e2e_expect_one_error_alert "server gone mid-download" ""
e2e_has_line "pkg failed with error .*" || e2e_fail "mid-download: no \"pkg failed with error\""
[ ! -e "$work/tmp/zav-$(id -u)/tmp-big.tar.gz" ] || e2e_fail "mid-download: a partial package was left"

# 5. The installer is ended by SIGTERM mid-download: the partial file goes with it.
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
echo $! > "$work/nginx/server.pid"
for _ in $(seq 1 50); do zav_nginx_port_open "$E2E_PORT" && break; sleep 0.1; done
e2e_run_installer
e2e_wait_for_line "Start download: $E2E_BASE/packages/big.tar.gz"
for _ in $(seq 1 100); do grep -q '\] Progress is [1-9]' "$E2E_LOG" && break; sleep 0.1; done
ls "$work/tmp/zav-$(id -u)"/download-* > /dev/null 2>&1 || e2e_fail "SIGTERM: no partial file to start with"
kill -TERM "$E2E_PID"
e2e_wait_for_exit 20
[ "$E2E_STATUS" -eq 143 ] || e2e_fail "SIGTERM: the installer ended with status $E2E_STATUS, not 143"
ls "$work/tmp/zav-$(id -u)"/download-* > /dev/null 2>&1 && e2e_fail "SIGTERM: the partial file was left"
echo "ok: SIGTERM mid-download"
e2e_pass

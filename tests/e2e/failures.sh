#!/usr/bin/env bash
# Each failure ends in exactly one error alert whose button quits with status 1, with nothing
# installed and nothing left in the temporary folder: feed 404, package 404, a package that
# zav-pkg refuses, the server gone mid-download; SIGTERM or SIGHUP mid-download leaves no
# partial file; a signal during the install waits for zav-pkg, then ends the run; losing the
# display leaves nothing either.
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
[ ! -e "$work/tmp/zav-$(id -u)/tmp-page.tar.gz" ] || e2e_fail "refused package: the package was left"

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

# 5. The installer is ended by SIGTERM (or SIGHUP: its terminal closed) mid-download: the
# partial file goes with it.
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
echo $! > "$work/nginx/server.pid"
for _ in $(seq 1 50); do zav_nginx_port_open "$E2E_PORT" && break; sleep 0.1; done
for row in "TERM 143" "HUP 129"; do
    read -r signal status <<< "$row"
    e2e_run_installer
    e2e_wait_for_line "Start download: $E2E_BASE/packages/big.tar.gz"
    for _ in $(seq 1 100); do grep -q '\] Progress is [1-9]' "$E2E_LOG" && break; sleep 0.1; done
    ls "$work/tmp/zav-$(id -u)"/download-* > /dev/null 2>&1 || e2e_fail "SIG$signal: no partial file to start with"
    kill -"$signal" "$E2E_PID"
    e2e_wait_for_exit 20
    [ "$E2E_STATUS" -eq "$status" ] || e2e_fail "SIG$signal: the installer ended with status $E2E_STATUS, not $status"
    [ -z "$(ls -A "$work/tmp/zav-$(id -u)")" ] || e2e_fail "SIG$signal: left $(ls -A "$work/tmp/zav-$(id -u)")"
    echo "ok: SIG$signal mid-download"
done

# 6. SIGTERM while zav-pkg runs (its renames slowed down by strace): the installer waits for it,
# then ends as the signal asked, with the product installed and the package gone.
if command -v strace > /dev/null && strace -o /dev/null true 2> /dev/null; then
    e2e_package 2.0
    feed_for ZavFixture-2.0.tar.gz
    # strace passes the installer's ending on as its own.
    (e2e_env strace -f -qq -o /dev/null -e trace=renameat2 -e inject=renameat2:delay_enter=1500000 \
        "$E2E_INSTALLER" > "$E2E_LOG" 2>&1) &
    E2E_PID=$!
    installer=''
    for _ in $(seq 1 400); do
        installer=$(pgrep -P "$E2E_PID" | head -1)
        [ -n "$installer" ] && pgrep -x -P "$installer" zav-pkg > /dev/null && break
        sleep 0.05
    done
    pgrep -x -P "$installer" zav-pkg > /dev/null || e2e_fail "signal during install: zav-pkg never ran"
    kill -TERM "$installer"
    e2e_wait_for_exit 30
    [ "$E2E_STATUS" -eq 143 ] || e2e_fail "signal during install: status $E2E_STATUS, not 143"
    [ "$(cat "$E2E_HOME/.local/opt/$E2E_APP_ID/VERSION" 2>/dev/null)" = 2.0 ] ||
        e2e_fail "signal during install: the product is not installed"
    e2e_has_line "Install complete; closing as asked" || e2e_fail "signal during install: no wait for zav-pkg"
    [ -z "$(ls -A "$work/tmp/zav-$(id -u)")" ] || e2e_fail "signal during install: left $(ls -A "$work/tmp/zav-$(id -u)")"
    echo "ok: SIGTERM during the install"
else
    echo "strace cannot trace here: the signal-during-install row is skipped"
fi

# 7. The display goes away mid-download (the user logged out): the toolkit ends the run, and
# the partial file goes with it.
feed_for big.tar.gz
e2e_run_installer
e2e_wait_for_line "Start download: $E2E_BASE/packages/big.tar.gz"
for _ in $(seq 1 100); do grep -q '\] Progress is [1-9]' "$E2E_LOG" && break; sleep 0.1; done
zav_xvfb_stop
e2e_wait_for_exit 20
[ -z "$(ls -A "$work/tmp/zav-$(id -u)")" ] || e2e_fail "display lost: left $(ls -A "$work/tmp/zav-$(id -u)")"
echo "ok: display lost mid-download (status $E2E_STATUS)"
e2e_pass

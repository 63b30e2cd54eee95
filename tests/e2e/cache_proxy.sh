#!/usr/bin/env bash
# A signed feed behind a real caching proxy (nginx's proxy_cache with its default key, which
# honours no request header) in front of the server: a cache that holds the signature of an
# earlier feed, and one that holds a whole earlier feed older than the one this user has seen,
# each cost one more fetch of both, and the run installs.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
work=$E2E_WORK
e2e_package 2.0

e2e_start_server
origin=$E2E_PORT
cache=
trap 'zav_nginx_stop "$work/cache"; e2e_cleanup' EXIT
# A caching proxy with an empty cache, in front of the server; it keeps answers for 10 minutes.
start_cache() {
    zav_nginx_stop "$work/cache"
    rm -rf "$work/cache/store"
    ZAV_NGINX_HTTP_EXTRA="proxy_cache_path $work/cache/store keys_zone=zav:1m;" \
        ZAV_NGINX_LOCATION="proxy_pass http://127.0.0.1:$origin; proxy_cache zav;
                            proxy_cache_valid 200 10m;" \
        zav_nginx_start_free "$work/cache" "$work/www" || e2e_fail "the caching proxy did not start"
    cache=$ZAV_NGINX_PORT
}
# through_cache PATH...: fetches each through the proxy, so that it holds them.
through_cache() {
    local path
    for path in "$@"; do
        curl -sf -o /dev/null -x "http://127.0.0.1:$cache" "$E2E_BASE/zavtarvex/app/$path" ||
            e2e_fail "the proxy did not serve $path"
    done
}
# install_via PORT CASE: a whole run with PORT as the proxy, to "Install complete" and the end.
install_via() {
    E2E_PORT=$1
    e2e_run_installer
    e2e_wait_for_line "Install complete"
    e2e_wait_for_window "Zav Fixture Installer"
    e2e_press_space
    e2e_wait_for_exit 20
    [ "$E2E_STATUS" -eq 0 ] || e2e_fail "$2: the installer ended with status $E2E_STATUS"
}
fetched_again() {
    e2e_has_line "The product information and its signature are fetched once more, past any cache on the way"
}
grep -q 'zav-fresh=' "$work/nginx/access.log" && e2e_fail "a fresh fetch before any run"

# 1. The proxy holds the signature of serial 5; the server now has serial 6.
start_cache
e2e_signed_feed 5
through_cache zavtarvex.json.minisig
e2e_signed_feed 6
install_via "$cache" "signature of another generation in the cache"
fetched_again || e2e_fail "signature of another generation: no second fetch"
grep -q 'zavtarvex.json.minisig?zav-fresh=' "$work/nginx/access.log" ||
    e2e_fail "signature of another generation: the server never saw a fresh fetch"

# 2. The proxy holds the whole feed of serial 6; this user has since seen serial 7.
start_cache
through_cache zavtarvex.json zavtarvex.json.minisig
e2e_signed_feed 7
install_via "$origin" "serial 7 straight from the server"
fetched_again && e2e_fail "serial 7 straight from the server: fetched twice"
install_via "$cache" "older feed in the cache"
fetched_again || e2e_fail "older feed in the cache: no second fetch"
grep -qs '"feedSerial": 7' "$E2E_HOME"/.local/state/zav/feeds/*.json ||
    e2e_fail "the kept serial is not 7"
e2e_pass

#!/usr/bin/env bash
# The installer fetches its compiled-in feed from nginx and names the product.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
e2e_feed "{\"product\": \"Demo Viewer\", \"bundleId\": \"org.example.DemoViewer\",
 \"version\": \"4.2\", \"pkgUrl\": \"$E2E_BASE/packages/DemoViewer-4.2.tar.gz\",
 \"autoLaunch\": false, \"displayVersion\": true}"
e2e_start_server
e2e_run_installer
e2e_wait_for_line "product: Demo Viewer - 4.2"

tarvex=$(e2e_line_number "Tarvex")
product=$(e2e_line_number "product: Demo Viewer - 4\.2")
[ -n "$tarvex" ] || e2e_fail "no log line \"Tarvex\""
[ "$tarvex" -lt "$product" ] || e2e_fail "\"Tarvex\" was not logged before the product"
grep -qF "GET $E2E_BASE/zavtarvex/app/zavtarvex.json" "$E2E_WORK/nginx/access.log" ||
    e2e_fail "nginx saw no request for the feed"
e2e_pass

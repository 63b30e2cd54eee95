#!/usr/bin/env bash
# The installer fetches its compiled-in feed from nginx and names the product.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"

cat > "$E2E_WORK/www/zavtarvex/app/zavtarvex.json" <<JSON
{"product": "Demo Viewer", "bundleId": "org.example.DemoViewer", "version": "4.2",
 "pkgUrl": "http://127.0.0.1:$E2E_PORT/packages/DemoViewer-4.2.tar.gz",
 "autoLaunch": false, "displayVersion": true}
JSON
e2e_start_server
e2e_run_installer
e2e_wait_for_line "product: Demo Viewer - 4.2"

tarvex=$(grep -n '] Tarvex$' "$E2E_LOG" | head -1 | cut -d: -f1)
product=$(grep -n '] product: Demo Viewer - 4.2$' "$E2E_LOG" | head -1 | cut -d: -f1)
[ -n "$tarvex" ] || e2e_fail "no log line \"Tarvex\""
[ "$tarvex" -lt "$product" ] || e2e_fail "\"Tarvex\" was not logged before the product"
grep -q 'GET /zavtarvex/app/zavtarvex.json' "$E2E_WORK/nginx/access.log" ||
    e2e_fail "nginx saw no request for the feed"
echo "1 passed, 0 failed"

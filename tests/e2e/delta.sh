#!/usr/bin/env bash
# An update by delta: with 1.0 installed, the installer downloads the delta the feed offers from
# 1.0's package, and zav-pkg builds 2.0 from it; with an installed file changed, zav-pkg says
# the delta does not apply and the installer downloads the full package instead. Either way 2.0
# is installed and its receipt names 2.0's package.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
vendor=$ZAV_BINARY_DIR/bin/zav-vendor
zavpkg=$(dirname "$E2E_INSTALLER")/zav-pkg
packages=$E2E_WORK/www/packages
e2e_package 1.0
e2e_package 2.0
"$vendor" delta "$packages/ZavFixture-1.0.tar.gz" "$packages/ZavFixture-2.0.tar.gz" \
    -o "$packages/ZavFixture-2.0.delta.tar.zst" > "$E2E_WORK/delta.out" 2>&1 ||
    e2e_fail "zav-vendor delta: $(cat "$E2E_WORK/delta.out")"
value() { sed -n "s/^$1: //p" "$E2E_WORK/delta.out"; }
e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\", \"version\": \"2.0\",
 \"pkgUrl\": \"$E2E_BASE/packages/ZavFixture-2.0.tar.gz\", \"autoLaunch\": false,
 \"pkgSha256\": \"$(value packageSha256)\", \"pkgSize\": $(value packageSize),
 \"pkgTreeSha256\": \"$(value treeSha256)\",
 \"pkgDeltas\": [{\"fromSha256\": \"$(value fromSha256)\",
   \"url\": \"$E2E_BASE/packages/ZavFixture-2.0.delta.tar.zst\",
   \"sha256\": \"$(value sha256)\", \"size\": $(value size)}]}"
e2e_start_server
app=$E2E_HOME/.local/opt/$E2E_APP_ID

for pass in applies altered; do
    rm -rf "${E2E_HOME:?}/.local"
    "$zavpkg" -pkg "$packages/ZavFixture-1.0.tar.gz" -target "$E2E_HOME" > /dev/null 2>&1 ||
        e2e_fail "1.0 does not install"
    [ "$pass" = altered ] && printf 'changed\n' >> "$app/zav-fixture.svg"
    : > "$E2E_WORK/nginx/access.log"
    e2e_run_installer
    e2e_wait_for_line "Install complete"
    [ "$(cat "$app/VERSION")" = 2.0 ] || e2e_fail "$pass: 2.0 is not installed"
    grep -q "\"packageSha256\": \"$(value packageSha256)\"" \
        "$E2E_HOME/.local/share/zav/receipts/$E2E_APP_ID.json" ||
        e2e_fail "$pass: the receipt does not name 2.0's package"
    grep -qF "ZavFixture-2.0.delta.tar.zst" "$E2E_WORK/nginx/access.log" ||
        e2e_fail "$pass: the delta was not downloaded"
    downloaded=$(grep -cF "ZavFixture-2.0.tar.gz" "$E2E_WORK/nginx/access.log")
    if [ "$pass" = applies ]; then
        [ "$downloaded" -eq 0 ] || e2e_fail "the package was downloaded beside the delta"
    else
        [ "$downloaded" -eq 1 ] || e2e_fail "the package was downloaded $downloaded times"
        grep -q "zav-pkg could not apply the delta" "$E2E_LOG" ||
            e2e_fail "no log line says why the package was downloaded"
        cmp -s "$app/zav-fixture.svg" "$E2E_WORK/stage-2.0/zav-fixture.svg" ||
            e2e_fail "the changed file was kept"
    fi
    e2e_wait_for_window "Zav Fixture Installer"
    e2e_press_space
    e2e_wait_for_exit 20
    [ "$E2E_STATUS" -eq 0 ] || e2e_fail "$pass: the installer ended with status $E2E_STATUS"
done
e2e_pass

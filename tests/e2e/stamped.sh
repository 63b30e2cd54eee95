#!/usr/bin/env bash
# The tool kit's way: an unstamped installer folder, stamped by zav-vendor bundle with the test's
# key and serial floor into a .run, installs a signed product; its stamp holds the bytes the
# build's own stamp step (zav-stamp) writes for the same options.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
source "$ZAV_SOURCE_DIR/scripts/lib/bundle.sh"
e2e_setup "$@"
work=$E2E_WORK bin=$ZAV_BINARY_DIR/bin url=$E2E_BASE/zavtarvex/app/zavtarvex.json
# As the kit carries it: the folder and the .run's halves of it, which bundle does not make again.
zav_bundle_folder "$bin" "$work" installer "$1" || e2e_fail "no installer folder"
ZAV_BUNDLE_ZSTD=-3 zav_bundle_parts "$work/installer" "$work/installer.parts" || e2e_fail "no halves"
"$bin/zav-vendor" bundle --installer "$work/installer" --feed-url "$url" --min-serial 3 \
    --key "${ZAV_E2E_SIGNING_KEY%.key}.pub" --name stamped -o "$work/dist" > "$work/bundle.log" ||
    e2e_fail "zav-vendor bundle failed"
E2E_INSTALLER=$work/dist/stamped-x86_64.run
[ "$(cat "$work/bundle.log")" = "$E2E_INSTALLER" ] || e2e_fail "bundle printed $(cat "$work/bundle.log")"

offset=$(sed -n 's/^zav_offset=\([0-9]*\).*/\1/p' "$E2E_INSTALLER")
head=$(sed -n 's/^zav_head=\([0-9]*\).*/\1/p' "$E2E_INSTALLER")
# The installer is in the head, named as in the folder the .run unpacks into.
mkdir -p "$work/stamped"
tail -c +"$offset" "$E2E_INSTALLER" | head -c "$head" | gzip -dc |
    tar -x -C "$work/stamped" libexec/zav-installer
cp "$work/installer/libexec/zav-installer" "$work/built"
"$bin/zav-stamp" "$work/built" --feed-url "$url" --min-serial 3 \
    --key "$(tail -1 "${ZAV_E2E_SIGNING_KEY%.key}.pub")" || e2e_fail "zav-stamp failed"
cmp -s "$work/built" "$work/stamped/libexec/zav-installer" ||
    e2e_fail "zav-vendor bundle and the build's stamp step wrote different installers"

e2e_package 2.0
pkg=$work/www/packages/ZavFixture-2.0.tar.gz
e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\",
 \"pkgUrl\": \"$E2E_BASE/packages/ZavFixture-2.0.tar.gz\", \"autoLaunch\": false,
 \"pkgSha256\": \"$(sha256sum < "$pkg" | cut -d' ' -f1)\", \"pkgSize\": $(stat -c %s "$pkg"),
 \"feedSerial\": 4, \"expiresAt\": \"2999-01-01T00:00:00Z\", \"feedUrl\": \"$url\"}"
minisign -S -s "$ZAV_E2E_SIGNING_KEY" -m "$work/www/zavtarvex/app/zavtarvex.json" > /dev/null ||
    e2e_fail "minisign cannot sign"
e2e_start_server
e2e_run_installer
e2e_wait_for_line "Install complete"
[ -d "$E2E_HOME/.local/opt/$E2E_APP_ID" ] || e2e_fail "the product is not installed"
grep -qs '"feedSerial": 4' "$E2E_HOME"/.local/state/zav/feeds/*.json || e2e_fail "no serial kept"
e2e_has_line "This installer is stamped unsigned.*" && e2e_fail "a signed stamp logged unsigned"
e2e_wait_for_window "Zav Fixture Installer"
e2e_press_space
e2e_wait_for_exit 20
[ "$E2E_STATUS" -eq 0 ] || e2e_fail "the installer ended with status $E2E_STATUS"
e2e_pass

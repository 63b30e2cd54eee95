#!/usr/bin/env bash
# An installer with a trusted key compiled in: a feed altered after signing and a package
# altered by one byte each end in exactly one error alert, with nothing installed and no package
# left in the temporary directory; the signed feed that pins the package installs.
set -uo pipefail
source "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$@"
work=$E2E_WORK
feed=$work/www/zavtarvex/app/zavtarvex.json
e2e_package 2.0
pkg=$work/www/packages/ZavFixture-2.0.tar.gz


e2e_start_server

# 1. The feed altered after it was signed.
e2e_signed_feed 5
sed -i 's/Zav Fixture/Zav Fixturf/' "$feed"
e2e_run_installer
e2e_expect_one_error_alert "feed altered after signing"
e2e_has_line "The product information could not be verified: .*" ||
    e2e_fail "altered feed: no line saying why it was not verified"
e2e_has_line "Start download: .*" && e2e_fail "altered feed: the download was started"

# 2. The package altered by one byte after the feed was signed.
e2e_signed_feed 6
cp "$pkg" "$work/package.orig"
printf '\377' | dd of="$pkg" bs=1 seek=100 conv=notrunc 2> /dev/null
e2e_run_installer
e2e_expect_one_error_alert "package altered by one byte"
e2e_has_line "pkg failed with error .*damaged or was altered.*" ||
    e2e_fail "altered package: no \"pkg failed with error\" naming the damage"
[ -z "$(ls -A "$work/tmp/zav-$(id -u)")" ] || e2e_fail "altered package: something was left"
mv "$work/package.orig" "$pkg"

# 3. The package as signed: installed, and the serial is kept.
e2e_signed_feed 7
e2e_run_installer
e2e_wait_for_line "Install complete"
[ -d "$E2E_HOME/.local/opt/$E2E_APP_ID" ] || e2e_fail "the product is not installed"
grep -qs '"feedSerial": 7' "$E2E_HOME"/.local/state/zav/feeds/*.json ||
    e2e_fail "the feed serial was not kept"
e2e_wait_for_window "Zav Fixture Installer"
e2e_press_space
e2e_wait_for_exit 20
[ "$E2E_STATUS" -eq 0 ] || e2e_fail "the installer ended with status $E2E_STATUS"
e2e_pass

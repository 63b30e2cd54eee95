#!/usr/bin/env bash
# autoLaunch (auto_launch.sh) with the installer started from a .run made of it: the bundled
# installer runs through its own loader, installs, and starts the product, which inherits
# nothing of the bundle; the unpacked folder is gone afterwards.
set -uo pipefail
source "$ZAV_SOURCE_DIR/scripts/lib/bundle.sh"
installer=$1 work=$3
rm -rf "$work.dist" && mkdir -p "$work.dist"
if ! zav_bundle_folder "$(dirname "$installer")" "$work.dist" e2e "$installer" ||
    ! ZAV_BUNDLE_GZIP=-1 ZAV_BUNDLE_ZSTD=-1 zav_bundle_pack "$work.dist" e2e; then
    echo "FAIL: no bundle" >&2
    exit 1
fi
rm -rf "$work.dist/e2e"
ZAV_E2E_BUNDLED=1 exec bash "$(dirname "$0")/auto_launch.sh" "$work.dist/e2e-x86_64.run" "$2" "$3"

#!/usr/bin/env bash
# Assembles the bundle's folder from this build and checks it: no unsafe RUNPATH in build/bin
# or in anything the folder carries, every library the programs need is in it, and zav-pkg runs
# through the folder's own loader, found where the installer looks for it.
#   folder.sh BUILD WORKDIR
set -uo pipefail
source "$ZAV_SOURCE_DIR/scripts/lib/bundle.sh"
build=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
zav_bundle_folder "$build/bin" "$work" z || { echo "FAIL: the folder could not be assembled"; exit 1; }
"$ZAV_SOURCE_DIR/tests/bundle/runpath.sh" "$build" "$build/bin" "$work/z" || exit 1
root=$work/z
# Every dependency resolves inside the folder (ldd with the folder as the only library path).
missing=$(LD_LIBRARY_PATH=$root/lib "$root/bin/ld-linux-x86-64.so.2" --list \
    "$root/libexec/zav-installer" 2>&1 | grep -v "=> $root/lib/\|ld-linux\|linux-vdso")
[ -z "$missing" ] || { echo "FAIL: resolved outside the folder: $missing"; exit 1; }
out=$("$root/bin/zav-pkg" -help 2>&1)
case $out in *zav-pkg*) ;; *) echo "FAIL: zav-pkg did not run through the loader: $out"; exit 1 ;; esac
if ! [ -x "$root/bin/zav-launch-desktop" ] || ! [ -x "$root/bin/zav-remove" ] || ! [ -e "$root/lib/libcrypto.so.3" ] ||
    ! [ -e "$root/plugins/platforms/libqxcb.so" ] || [ -e "$root/plugins/xcbglintegrations" ] ||
    ! [ -x "$root/bin/zav-unzstd" ] || [ "$(stat -c %s "$root"/lib/libicudata.so.*)" -gt 100000 ]; then
    echo "FAIL: a part is missing or one to leave out is there"
    exit 1
fi
# The tool kit: zav-vendor through its own loader, every library inside the kit, the unstamped
# installer folder beside it.
zav_bundle_kit "$build/bin" "$work" kit || { echo "FAIL: the kit could not be assembled"; exit 1; }
kit=$work/kit
missing=$(LD_LIBRARY_PATH=$kit/lib "$kit/bin/ld-linux-x86-64.so.2" --list "$kit/libexec/zav-vendor" 2>&1 |
    grep -v "=> $kit/lib/\|ld-linux\|linux-vdso")
[ -z "$missing" ] || { echo "FAIL: the kit's zav-vendor resolves outside the kit: $missing"; exit 1; }
(cd "$work" && env -i PATH=/usr/bin:/bin "$kit/zav-vendor" keygen -W -p k.pub -s k.key > /dev/null 2>&1) &&
    [ -s "$work/k.pub" ] || { echo "FAIL: the kit's zav-vendor did not make keys"; exit 1; }
[ -x "$kit/installer/libexec/zav-installer" ] || { echo "FAIL: the kit has no installer folder"; exit 1; }
"$ZAV_SOURCE_DIR/tests/bundle/runpath.sh" "$build" "$kit" > /dev/null || exit 1
echo "2 passed, 0 failed"

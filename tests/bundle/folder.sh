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
ZAV_BUNDLE_ZSTD=-1 zav_bundle_kit "$build/bin" "$work" kit || { echo "FAIL: the kit could not be assembled"; exit 1; }
kit=$work/kit
missing=$(LD_LIBRARY_PATH=$kit/lib "$kit/bin/ld-linux-x86-64.so.2" --list "$kit/libexec/zav-vendor" 2>&1 |
    grep -v "=> $kit/lib/\|ld-linux\|linux-vdso")
[ -z "$missing" ] || { echo "FAIL: the kit's zav-vendor resolves outside the kit: $missing"; exit 1; }
(cd "$work" && env -i PATH=/usr/bin:/bin "$kit/zav-vendor" keygen -W -p k.pub -s k.key > /dev/null 2>&1) &&
    [ -s "$work/k.pub" ] || { echo "FAIL: the kit's zav-vendor did not make keys"; exit 1; }
[ -x "$kit/installer/libexec/zav-installer" ] || { echo "FAIL: the kit has no installer folder"; exit 1; }
"$ZAV_SOURCE_DIR/tests/bundle/runpath.sh" "$build" "$kit" > /dev/null || exit 1

# The kit's zav-vendor stamps its installer into a .run made of the halves the kit was made with:
# it unpacks to the installer folder with only the installer changed, the same as the folder
# packed whole (no halves beside it) unpacks to. Damaged halves, or a folder changed since they
# were made, are refused and leave no .run.
unpack() { # RUN DIR: the .run's head and halves, as the stub reads them
    # head -c ends tail early: its SIGPIPE is no failure; a decompressor's or tar's is.
    local - offset head length
    set +o pipefail
    offset=$(sed -n 's/^zav_offset=\([0-9]*\).*/\1/p' "$1")
    head=$(sed -n 's/^zav_head=\([0-9]*\).*/\1/p' "$1")
    length=$(sed -n 's/^zav_length=\([0-9]*\).*/\1/p' "$1")
    rm -rf "$2" && mkdir -p "$2" &&
        tail -c +"$offset" "$1" | head -c "$head" | gzip -dc | tar -x -C "$2" &&
        tail -c +$((offset + head)) "$1" | head -c "$length" | zstd -dcq | tar -x -C "$2" &&
        tail -c +$((offset + head + length)) "$1" | zstd -dcq | tar -x -C "$2"
}
stamp() { "$kit/zav-vendor" bundle --feed-url https://example.org/f.json --key "$work/k.pub" "$@"; }
parts=$kit/installer.parts
failed=0
stamp --name fast -o "$work/fast" > /dev/null 2>&1 && unpack "$work/fast/fast-x86_64.run" "$work/fast/x" ||
    { echo "FAIL: no .run from the kit's halves"; failed=$((failed + 1)); }
[ "$(diff -rq "$work/fast/x" "$kit/installer" 2>&1)" = \
    "Files $work/fast/x/libexec/zav-installer and $kit/installer/libexec/zav-installer differ" ] ||
    { echo "FAIL: the .run from the halves unpacks to another folder"; failed=$((failed + 1)); }
mv "$parts" "$work/parts"
stamp --name whole -o "$work/whole" > /dev/null 2>&1 && unpack "$work/whole/whole-x86_64.run" "$work/whole/x" &&
    diff -rq "$work/fast/x" "$work/whole/x" ||
    { echo "FAIL: the folder packed whole differs from the halves"; failed=$((failed + 1)); }
cp "$kit/installer/fonts/fonts.conf" "$work/fonts.conf"
# row | what is done to the kit | what the refusal says
rows=(
    "a half altered|dd of=$parts/second.tar.zst bs=1 seek=1000 conv=notrunc status=none <<< Z|second.tar.zst is damaged (its size or SHA-256"
    "a half cut short|truncate -s -1 $parts/first.tar.zst|first.tar.zst is missing or not"
    "no parts file|rm $parts/parts|installer's parts in $parts are damaged"
    "the parts file cut|truncate -s -3 $parts/parts|its last line is cut"
    "a file changed since|echo >> $kit/installer/fonts/fonts.conf|does not match its parts"
    "a file added since|: > $kit/installer/lib/extra.so|does not match its parts"
)
for line in "${rows[@]}"; do
    IFS='|' read -r row damage says <<< "$line"
    rm -rf "$parts" "$work/out" "$kit/installer/lib/extra.so" && cp -a "$work/parts" "$parts" &&
        cp "$work/fonts.conf" "$kit/installer/fonts/fonts.conf"
    eval "$damage"
    if stamp -o "$work/out" > /dev/null 2> "$work/stderr" || [ -e "$work/out/zav-installer-x86_64.run" ] ||
        ! grep -qF "$says" "$work/stderr"; then
        echo "FAIL: $row: not refused as expected: $(cat "$work/stderr")"
        failed=$((failed + 1))
    fi
done
echo "$((2 + 3 + ${#rows[@]} - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]

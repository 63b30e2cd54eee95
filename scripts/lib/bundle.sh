# shellcheck shell=bash
# Assembling and packing the self-contained bundle. Sourced by scripts/bundle, the tests in
# tests/bundle, bench/startup and scripts/check-portable.
#
# The folder <name>/ (from bundle/ and a build folder):
#   zav-installer               launcher: the entry point (bundle/zav-installer.sh)
#   bin/ld-linux-x86-64.so.2    the loader; both programs run through it, so it is their
#                               executable and bin/ is Qt's application folder
#   bin/qt.conf                 plugins in ../plugins
#   bin/zav-pkg                 launcher of zav-pkg, where the installer looks for it
#   bin/zav-launch-desktop      static; starts the product with the user's environment
#   bin/zav-remove              static; the remover zav-pkg copies into the home for the
#                               desktop entries' Uninstall action (found beside the loader)
#   bin/zav-unzstd              the .run's decompressor (run through the loader)
#   libexec/zav-installer, libexec/zav-pkg   the programs
#   lib/                        every library they load, glibc included (from ldd of each
#                               program and plugin, and of libssl, which Qt opens by name);
#                               ICU's data cut down to what they load (zav_bundle_icu_data)
#   lib/gio-modules/            empty: no GIO module of the system's is loaded
#   plugins/                    platforms (wayland, xcb, offscreen), tls, platforminputcontexts,
#                               and Wayland's window roles (xdg-shell) and the title bars
#                               Qt draws itself there (bradient)
#   fonts/                      one font and the fonts.conf used where the system has none
#   translations/               Qt's own texts (qtbase_<language>.qm) in each language the
#                               installer ships (translations/zav_<language>.ts)
#
# The vendor's tool kit DEST/NAME (zav_bundle_kit), self-contained the same way:
#   zav-vendor                  launcher: the entry point (bundle/zav-vendor.sh)
#   bin/ld-linux-x86-64.so.2    the loader; bin/qt.conf beside it
#   bin/zav-remove              the remover, which the checks of a package install with it
#   libexec/zav-vendor          the program
#   lib/, plugins/tls/          what it loads (TLS: verify fetches https feeds)
#   installer/                  the unstamped installer folder, which `zav-vendor bundle`
#                               finds there and stamps
#   installer.parts/            the .run's halves of it, compressed once here
#                               (zav_bundle_parts): bundle compresses only the head
#
#   zav_bundle_folder BIN DEST NAME [INSTALLER]
#                                       assemble DEST/NAME from the programs in BIN (the
#                                       installer: INSTALLER, default BIN/zav-installer)
#   zav_bundle_pack DEST NAME           DEST/NAME-x86_64.run and DEST/NAME-x86_64.tar.gz
#                                       ($ZAV_BUNDLE_ZSTD: zstd's level option for the .run,
#                                       default -19; $ZAV_BUNDLE_GZIP: gzip's for the .tar.gz,
#                                       default -9)
#   zav_bundle_parts ROOT OUT           the .run's zstd'd halves of the folder ROOT, which
#                                       do not change when it is stamped, into OUT (see there)
#   zav_bundle_kit BIN DEST NAME        assemble the tool kit DEST/NAME from the programs in BIN
#   zav_bundle_sizes DEST NAME          print the .run's size against its budget and the
#                                       largest parts of the folder
#   zav_bundle_check_name NAME          refuse (status 1, with a message) a name that is not
#                                       a plain file name (see there)

ZAV_BUNDLE_SOURCE=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../bundle" && pwd)
ZAV_BUNDLE_PLUGINS=(platforms/libqxcb.so platforms/libqoffscreen.so
                    platforms/libqwayland-generic.so wayland-shell-integration/libxdg-shell.so
                    wayland-decoration-client/libbradient.so
                    tls/libqopensslbackend.so tls/libqcertonlybackend.so
                    platforminputcontexts/libcomposeplatforminputcontextplugin.so
                    platforminputcontexts/libibusplatforminputcontextplugin.so)
ZAV_BUNDLE_FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
# What the .run unpacks first, gzip'd: its decompressor and what that runs on.
ZAV_BUNDLE_HEAD=(bin/ld-linux-x86-64.so.2 lib/libc.so.6 lib/libzstd.so.1 bin/zav-unzstd)
# The one file stamping changes; the head carries it too, so that the halves never change.
ZAV_BUNDLE_STAMPED=libexec/zav-installer

# The libraries ELF files load, one path a line: what ldd lists, and the loader.
zav_bundle_needed() {
    ldd "$@" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\/.*ld-linux/ { print $1 }' |
        sort -u
}

# The name goes into file names and, through sed, into the stub's shell code: only letters,
# digits, '.', '_' and '-', starting with a letter or digit, at most 64 characters.
zav_bundle_check_name() {
    [[ $1 =~ ^[A-Za-z0-9][A-Za-z0-9._-]{0,63}$ ]] && return 0
    echo "The bundle name $(printf '%q' "$1") is refused: use only letters, digits, '.', '_' and" \
         "'-', starting with a letter or digit, at most 64 characters." >&2
    return 1
}

# Qt's translations of its standard texts for the installer's languages, into DIR (the
# installer's own are built into it). qt.conf's prefix makes DIR Qt's translations folder.
zav_bundle_qt_translations() {
    local dir=$1 source ts language
    source=$(qtpaths6 --query QT_INSTALL_TRANSLATIONS) || return 1
    mkdir -p "$dir"
    for ts in "$ZAV_BUNDLE_SOURCE"/../translations/zav_*.ts; do
        language=${ts##*/zav_}
        language=${language%.ts}
        install -m 644 "$source/qtbase_$language.qm" "$dir/" || return 1
    done
}

zav_bundle_folder() {
    local bin=$1 dest=$2 name=$3 installer=${4:-$1/zav-installer} plugins plugin
    local root=$dest/$name
    plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS) || return 1
    rm -rf "$root"
    mkdir -p "$root"/{bin,libexec,lib/gio-modules,fonts}
    install -m 755 "$installer" "$root/libexec/zav-installer"
    install -m 755 "$bin/zav-pkg" "$root/libexec/"
    install -m 755 "$bin/zav-launch-desktop" "$bin/zav-remove" "$bin/zav-unzstd" "$root/bin/"
    strip --strip-unneeded "$root"/libexec/* "$root"/bin/zav-*
    install -m 755 "$ZAV_BUNDLE_SOURCE/zav-installer.sh" "$root/zav-installer"
    install -m 755 "$ZAV_BUNDLE_SOURCE/zav-pkg.sh" "$root/bin/zav-pkg"
    install -m 644 "$ZAV_BUNDLE_SOURCE/qt.conf" "$root/bin/"
    install -m 644 "$ZAV_BUNDLE_SOURCE/fonts.conf" "$ZAV_BUNDLE_FONT" "$root/fonts/"
    for plugin in "${ZAV_BUNDLE_PLUGINS[@]}"; do
        install -D -m 644 "$plugins/$plugin" "$root/plugins/$plugin"
    done
    zav_bundle_qt_translations "$root/translations" || return 1
    zav_bundle_libraries "$root" || return 1
    [ -e "$root/lib/libzstd.so.1" ]
}

# ROOT/lib: every library ROOT/libexec's programs and ROOT/plugins load, and libssl; the loader
# into ROOT/bin.
zav_bundle_libraries() {
    local root=$1 lib ssl
    # Qt loads libssl and libcrypto by name when it first needs TLS: ldd cannot see them.
    # awk reads to the end: leaving early would end ldconfig with SIGPIPE, a failure under
    # pipefail.
    ssl=$(ldconfig -p | awk '$1 == "libssl.so.3" && ssl == "" { ssl = $NF } END { print ssl }')
    for lib in "$ssl" $(zav_bundle_needed "$root"/libexec/* "$root"/plugins/*/*.so "$ssl"); do
        case $lib in
        */ld-linux*) install -m 755 "$(readlink -f "$lib")" "$root/bin/$(basename "$lib")" ;;
        *) install -m 644 "$(readlink -f "$lib")" "$root/lib/$(basename "$lib")" ;;
        esac
    done
    zav_bundle_icu_data "$root/lib" || return 1
    [ -e "$root/lib/libssl.so.3" ] && [ -e "$root/bin/ld-linux-x86-64.so.2" ]
}

zav_bundle_kit() {
    local bin=$1 dest=$2 name=$3 plugins plugin
    local root=$dest/$name
    plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS) || return 1
    rm -rf "$root"
    mkdir -p "$root"/{bin,libexec,lib}
    zav_bundle_folder "$bin" "$root" installer || return 1
    zav_bundle_parts "$root/installer" "$root/installer.parts" || return 1
    install -m 755 "$bin/zav-vendor" "$root/libexec/"
    # The remover the throw-away install of a package's check looks for beside the loader.
    install -m 755 "$bin/zav-remove" "$root/bin/"
    strip --strip-unneeded "$root/libexec/zav-vendor" "$root/bin/zav-remove"
    install -m 755 "$ZAV_BUNDLE_SOURCE/zav-vendor.sh" "$root/zav-vendor"
    install -m 644 "$ZAV_BUNDLE_SOURCE/qt.conf" "$root/bin/"
    for plugin in tls/libqopensslbackend.so tls/libqcertonlybackend.so; do
        install -D -m 644 "$plugins/$plugin" "$root/plugins/$plugin"
    done
    zav_bundle_libraries "$root"
}

# ICU's data library in LIB (libicudata.so.N, a third of the bundle) replaced by one with the
# same name and symbol (icudtN_dat) that holds only the index of locales: Qt opens nothing of
# ICU's data for what the programs do (they use no collation, time zone names or codecs other
# than UTF-8; case mapping and normalization need none). Needs icupkg and genccode
# (icu-devtools) and a C compiler.
zav_bundle_icu_data() {
    local lib=$1 data version work symbol section
    data=$(find "$lib" -maxdepth 1 -name 'libicudata.so.*' | head -1)
    [ -n "$data" ] || return 0
    version=${data##*.so.}
    work=$(mktemp -d) || return 1
    # The data is the library's read-only section from its symbol on.
    symbol=$(nm -D --defined-only "$data" | awk -v s="icudt${version}_dat" '$3 == s { print $1 }')
    section=$(readelf -SW "$data" | awk '$2 == ".rodata" { print $4 }')
    if [ -z "$symbol" ] || [ -z "$section" ] ||
        ! objcopy -O binary --only-section=.rodata "$data" "$work/rodata" ||
        ! tail -c +$((0x$symbol - 0x$section + 1)) "$work/rodata" > "$work/icudt${version}l.dat" ||
        ! mkdir "$work/items" || ! icupkg -x res_index.res -d "$work/items" "$work/icudt${version}l.dat" ||
        ! mkdir "$work/small" || ! icupkg -a res_index.res -s "$work/items" new "$work/small/icudt${version}l.dat" ||
        ! genccode -q -a gcc -e "icudt$version" -d "$work" "$work/small/icudt${version}l.dat" ||
        ! cc -c -o "$work/data.o" "$work/icudt${version}l_dat.S" ||
        ! cc -shared -nostdlib -Wl,-soname,"${data##*/}" -Wl,-z,noexecstack -o "$work/lib" "$work/data.o"; then
        echo "zav_bundle_icu_data: cannot cut down $data" >&2
        rm -rf "$work"
        return 1
    fi
    install -m 644 "$work/lib" "$data"
    rm -rf "$work"
}

# The .run's halves of ROOT, which stamping never changes: OUT/first.tar.zst and
# OUT/second.tar.zst hold every file but the head's and the installer
# ($ZAV_BUNDLE_STAMPED), largest first, each to the lighter half; OUT/parts names each half's
# size and SHA-256, then the size and path of every file the halves hold, sorted by path:
#   zav-installer-parts 1
#   first SIZE SHA256
#   second SIZE SHA256
#   SIZE PATH...
# Member names are relative to ROOT: the halves do not depend on the bundle's name.
zav_bundle_parts() {
    local root=$1 out=$2 zstd=${ZAV_BUNDLE_ZSTD:--19} part pid=
    local tar=(tar -C "$root" --owner=0 --group=0 --numeric-owner --no-recursion)
    rm -rf "$out" && mkdir -p "$out" || return 1
    printf '%s\n' "${ZAV_BUNDLE_HEAD[@]}" "$ZAV_BUNDLE_STAMPED" > "$out/.skip"
    (cd "$root" && find . ! -type d -printf '%s %P\n') | awk -v skip="$out/.skip" '
        BEGIN { while ((getline line < skip) > 0) drop[line] = 1 }
        { path = substr($0, index($0, " ") + 1) } !(path in drop)' |
        LC_ALL=C sort -k2 > "$out/.files"
    : > "$out/.first" && : > "$out/.second"
    LC_ALL=C sort -s -k1,1rn "$out/.files" | awk -v first="$out/.first" -v second="$out/.second" '
        { path = substr($0, index($0, " ") + 1)
          if (a <= b) { a += $1; print path > first } else { b += $1; print path > second } }'
    # zstd checks each frame's checksum on the way out: a cut or altered .run is told from one
    # that found no room.
    for part in first second; do
        "${tar[@]}" -T "$out/.$part" -cf - | zstd -q "$zstd" --check -T1 -c > "$out/$part.tar.zst" &
        pid+=" $!"
    done
    for part in $pid; do wait "$part" || return 1; done
    {
        echo "zav-installer-parts 1"
        for part in first second; do
            echo "$part $(stat -c %s "$out/$part.tar.zst") $(sha256sum < "$out/$part.tar.zst" | cut -d' ' -f1)"
        done
        cat "$out/.files"
    } > "$out/parts.tmp" && mv "$out/parts.tmp" "$out/parts" || return 1
    rm -f "$out"/.skip "$out"/.files "$out"/.first "$out"/.second
}

zav_bundle_pack() {
    local dest=$1 name=$2 stub offset=1 size head length folders room
    local gzip=${ZAV_BUNDLE_GZIP:--9}
    zav_bundle_check_name "$name" || return 1
    local tar=(tar -C "$dest" --owner=0 --group=0 --numeric-owner --no-recursion)
    (cd "$dest" && find "$name" | LC_ALL=C sort) > "$dest/.files"
    "${tar[@]}" -T "$dest/.files" -cf - | gzip "$gzip" -n > "$dest/$name-x86_64.tar.gz"
    # The .run carries the folder as three archives: first, gzip'd, the folders, the
    # decompressor with what it runs on (ZAV_BUNDLE_HEAD) and the installer; then the other
    # files as two zstd'd archives of about equal size (zav_bundle_parts), which the stub
    # unpacks at once. Member names are relative to the folder, which the stub names.
    zav_bundle_parts "$dest/$name" "$dest/.parts" || return 1
    folders=$(cd "$dest" && find "$name" -type d | LC_ALL=C sort)
    { echo .; (cd "$dest/$name" && find . -mindepth 1 -type d -printf '%P\n' | LC_ALL=C sort);
      printf '%s\n' "${ZAV_BUNDLE_HEAD[@]}"
      [ ! -e "$dest/$name/$ZAV_BUNDLE_STAMPED" ] || echo "$ZAV_BUNDLE_STAMPED"; } > "$dest/.head"
    tar -C "$dest/$name" --owner=0 --group=0 --numeric-owner --no-recursion -T "$dest/.head" \
        -cf - | gzip -9 -n > "$dest/.head.gz" || return 1
    head=$(stat -c %s "$dest/.head.gz")
    length=$(stat -c %s "$dest/.parts/first.tar.zst")
    # What the stub asks of a place to unpack into, in kilobytes: the folder's blocks here, and
    # an eighth more for file systems that round up otherwise.
    room=$(du -sk "$dest/$name" | cut -f1)
    room=$((room + room / 8 + 256))
    # The stub names the byte at which the archives start; its own length depends on that
    # number's digits, so repeat until the two agree.
    while :; do
        stub=$(sed -e "s/@NAME@/$name/g" -e "s/@OFFSET@/$offset/" -e "s/@HEAD@/$head/" \
                   -e "s/@LENGTH@/$length/" -e "s/@ROOM@/$room/" "$ZAV_BUNDLE_SOURCE/stub.sh")
        stub=${stub/@FOLDERS@/"$folders"}
        size=$(printf '%s\n' "$stub" | wc -c)
        [ $((size + 1)) -eq "$offset" ] && break
        offset=$((size + 1))
    done
    { printf '%s\n' "$stub"; cat "$dest/.head.gz" "$dest/.parts/first.tar.zst" \
        "$dest/.parts/second.tar.zst"; } > "$dest/$name-x86_64.run"
    chmod 755 "$dest/$name-x86_64.run"
    rm -rf "$dest"/.files "$dest"/.head "$dest"/.head.gz "$dest"/.parts
}

zav_bundle_sizes() {
    local dest=$1 name=$2 file size budget=25000000
    size=$(stat -c %s "$dest/$name-x86_64.run")
    echo "$name-x86_64.run: $(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1e6 }') MB of the" \
        "$((budget / 1000000)) MB budget$([ "$size" -le "$budget" ] || echo ': OVER BUDGET')"
    echo "largest parts, unpacked and gzip'd (the .run zstd's them):"
    # awk, not head: sort must not die of SIGPIPE under pipefail.
    find "$dest/$name" -type f -printf '%s %p\n' | sort -rn | awk 'NR <= 8' | while read -r _ file; do
        printf '  %6s KB  %6s KB gz  %s\n' "$(( $(stat -c %s "$file") / 1024 ))" \
            "$(( $(gzip -9c "$file" | wc -c) / 1024 ))" "${file#"$dest"/}"
    done
}

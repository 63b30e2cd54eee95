#!/usr/bin/env bash
# An update by delta against the same update by the full package: a product of 300 MiB in
# 2,000 files of which 3 change (one of them a 40 MiB program file with a small change).
# Builds nothing: pass a build folder in which zav-pkg, zav-vendor, zav-pkg-bench-tree and
# zav-download-bench have been built (an optimised build gives the meaningful figures).
#
#   bench/delta/run.sh BUILD_DIR [RUNS]
#
# Prints the bytes an update downloads (delta and package, and their ratio: target at most 3%),
# and the median wall time of RUNS (default 3) updates of each kind, alternating which goes
# first: the installer's own download from a loopback nginx (zav-download-bench: the manager,
# pinned as a signed feed pins), then zav-pkg (-delta, or -pkg) on a home where the old version
# is installed; both steps apart and together, and the ratios delta/full. Needs about
# (4 x RUNS + 4) x 300 MiB free in BUILD_DIR (or in ZAV_BENCH_DIR when set); everything is
# deleted at the end. ZAV_BENCH_FILES and ZAV_BENCH_MIB change the product.
set -euo pipefail

for program in zav-pkg zav-vendor zav-pkg-bench-tree zav-download-bench; do
    if [ $# -lt 1 ] || [ ! -x "$1/bin/$program" ]; then
        echo "usage: $0 BUILD_DIR [RUNS]   (BUILD_DIR/bin/$program must exist)" >&2
        exit 2
    fi
done
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
runs=${2:-3}
files=${ZAV_BENCH_FILES:-2000}
mib=${ZAV_BENCH_MIB:-300}
big_mib=40
id=org.example.Bench
source "$root/scripts/lib/nginx.sh"

work=$(mktemp -d "${ZAV_BENCH_DIR:-$build}/bench-delta.XXXXXX")
cleanup() {
    zav_nginx_stop "$work/nginx" || true
    rm -rf "$work"
}
trap cleanup EXIT
needed=$(( (4 * runs + 4) * mib * 1024 * 1024 ))
available=$(df --output=avail -B1 "$work" | tail -n 1)
if [ "$available" -lt "$needed" ]; then
    echo "$0: needs $((needed >> 30)) GiB free in $(dirname "$work"), has $((available >> 30)) GiB" >&2
    exit 1
fi

# The old version: the generator's tree (desktop entry, program, icon and data files) with a
# 40 MiB program file in place of enough data to keep the total; the new one changes three
# files: 4 KiB in the middle of the program file, a line of one text file, one data file
# rewritten.
echo "writing $files files, $mib MiB, and packing two versions..." >&2
"$build/bin/zav-pkg-bench-tree" "$work/v1" $((files - 4)) $((mib - big_mib))
head -c $((big_mib * 1024 * 1024)) /dev/urandom > "$work/v1/bin/engine.so"
cp -a "$work/v1" "$work/v2"
head -c 4096 /dev/urandom |
    dd of="$work/v2/bin/engine.so" bs=4096 seek=$((big_mib * 128)) conv=notrunc status=none
text=$(cd "$work/v2" && find data -name 'file-*.txt' | sort | sed -n 1p)
echo "one more line" >> "$work/v2/$text"
other=$(cd "$work/v2" && find data -name 'file-*.bin' -size +8k | sort | sed -n 2p)
size=$(stat -c %s "$work/v2/$other")
head -c "$size" /dev/urandom > "$work/v2/$other"
entries=$(cd "$work/v1" && find . -mindepth 1 -type f | wc -l)

mkdir -p "$work/www" "$work/nginx" "$work/tmp"
"$build/bin/zav-vendor" pack "$work/v1" -o "$work/www/v1.tar.zst" > /dev/null
"$build/bin/zav-vendor" pack "$work/v2" -o "$work/www/v2.tar.zst" > /dev/null
start=$(date +%s%N)
"$build/bin/zav-vendor" delta "$work/www/v1.tar.zst" "$work/www/v2.tar.zst" \
    -o "$work/www/v2.delta.tar.zst" > "$work/delta.out"
made_ms=$(( ($(date +%s%N) - start) / 1000000 ))
value() { sed -n "s/^$1: //p" "$work/delta.out"; }
tree=$(value treeSha256)
package_sha=$(value packageSha256)
package_size=$(stat -c %s "$work/www/v2.tar.zst")
delta_sha=$(value sha256)
delta_size=$(value size)

zav_nginx_start_free "$work/nginx" "$work/www"
base="http://127.0.0.1:$ZAV_NGINX_PORT"
export TMPDIR=$work/tmp
dest=$TMPDIR/zav-$(id -u)
mkdir -p "$dest" && chmod 0700 "$dest"

now_ns() { date +%s%N; }

# run_one KIND RUN: installs v1 into a new home (not timed), downloads what KIND needs as the
# installer does, then updates with zav-pkg; appends "download_us install_us peak_rss_kib" to
# $work/KIND. Homes are not removed before the end (ext4 is slow to reuse freed inodes).
run_one() {
    local kind=$1 home=$work/home-$1-$2 start middle end url pin args
    mkdir "$home"
    "$build/bin/zav-pkg" -pkg "$work/www/v1.tar.zst" -target "$home" > /dev/null 2>&1
    if [ "$kind" = delta ]; then
        url=$base/v2.delta.tar.zst pin="$delta_sha $delta_size"
    else
        url=$base/v2.tar.zst pin="$package_sha $package_size"
    fi
    sync
    start=$(now_ns)
    # shellcheck disable=SC2086 # the digest and the size, two arguments
    "$build/bin/zav-download-bench" "$url" $pin > "$work/driver.out" 2> "$work/driver.err" ||
        { cat "$work/driver.err" >&2; exit 1; }
    middle=$(now_ns)
    # The driver's run ends like an installer's killed before the install: its download is
    # removed at exit. zav-pkg takes the same pinned bytes from the served file, copied in
    # while the clock is stopped.
    local file=$work/tmp/update.tar.zst download_us=$(( (middle - start) / 1000 ))
    if [ "$kind" = delta ]; then cp "$work/www/v2.delta.tar.zst" "$file"; else cp "$work/www/v2.tar.zst" "$file"; fi
    sync
    middle=$(now_ns)
    if [ "$kind" = delta ]; then
        args=(-id "$id" -delta "$file" -sha256 "$delta_sha" -size "$delta_size"
              -tree-sha256 "$tree" -package-sha256 "$package_sha")
    else
        args=(-id "$id" -pkg "$file" -sha256 "$package_sha" -size "$package_size")
    fi
    /usr/bin/time -f %M -o "$work/rss" "$build/bin/zav-pkg" "${args[@]}" -target "$home" \
        > /dev/null 2> "$work/zav.err" || { tail -n 5 "$work/zav.err" >&2; exit 1; }
    end=$(now_ns)
    rm -f "$file"
    local found
    found=$(cd "$home/.local/opt/$id" && find . -mindepth 1 -type f | wc -l)
    [ "$found" -eq "$entries" ] || { echo "$kind: $found files, expected $entries" >&2; exit 1; }
    echo "$download_us $(( (end - middle) / 1000 )) $(tail -n 1 "$work/rss")" \
        >> "$work/$kind"
    echo "$home" >> "$work/homes-$kind"
}

median() { # FILE COLUMN (a third column: the sum of the first two)
    awk '{ print $1, $2, $1 + $2, $3 }' "$1" | sort -n -k"$2" |
        awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for run in $(seq 1 "$runs"); do
    if [ $((run % 2)) -eq 1 ]; then order="delta full"; else order="full delta"; fi
    for kind in $order; do
        echo "run $run: $kind" >&2
        run_one "$kind" "$run"
    done
done
# Both ways end in the same tree.
a=$(head -n 1 "$work/homes-delta")/.local/opt/$id
b=$(head -n 1 "$work/homes-full")/.local/opt/$id
diff -r "$a" "$b" > /dev/null || { echo "the delta's tree differs from the package's" >&2; exit 1; }

echo
echo "update of $id: $entries files, $mib MiB, 3 changed (one of $big_mib MiB); median of $runs runs"
echo "delta made by zav-vendor delta in $(awk -v m="$made_ms" 'BEGIN { printf "%.1f", m / 1000 }') s: $(value files)"
awk -v d="$delta_size" -v p="$package_size" 'BEGIN {
    printf "bytes downloaded: delta %d, package %d, ratio %.3f%% (target: at most 3%%: %s)\n", d, p, 100 * d / p, (d <= 0.03 * p) ? "met" : "MISSED"
}'
printf '%-22s %10s %10s %10s\n' "" delta full ratio
for column in 1:download 2:zav-pkg 3:"download + zav-pkg"; do
    c=${column%%:*} name=${column#*:}
    awk -v n="$name" -v d="$(median "$work/delta" "$c")" -v f="$(median "$work/full" "$c")" \
        'BEGIN { printf "%-22s %8.2f s %8.2f s %9.3fx\n", n, d / 1e6, f / 1e6, d / f }'
done
awk -v d="$(sort -n -k3 "$work/delta" | tail -n 1 | awk '{ print $3 }')" \
    -v f="$(sort -n -k3 "$work/full" | tail -n 1 | awk '{ print $3 }')" \
    'BEGIN { printf "%-22s %6.1f MiB %6.1f MiB\n", "zav-pkg peak memory", d / 1024, f / 1024 }'
echo
echo "every run, download + zav-pkg in seconds (order of running):"
for kind in delta full; do
    printf '  %-6s %s\n' "$kind" "$(awk '{ printf "%.2f+%.2f ", $1 / 1e6, $2 / 1e6 }' "$work/$kind")"
done

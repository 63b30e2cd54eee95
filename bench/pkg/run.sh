#!/usr/bin/env bash
# zav-pkg against tar -xf on a package of about 500 MiB in 20,000 files, gzip and zstd.
# Builds nothing: pass a build folder in which zav-pkg and zav-pkg-bench-tree have been built
# (an optimised build gives the meaningful figures).
#
#   bench/pkg/run.sh BUILD_DIR [RUNS]
#
# RUNS (default 3) runs of each per compression, alternating which goes first: zav-pkg into an
# empty home, tar -xf into an empty folder, and tar -xf followed by sync (zav-pkg flushes what
# it unpacked before swapping it in; tar does not). Prints medians, the ratio to tar -xf and
# peak memory. ZAV_BENCH_FILES and ZAV_BENCH_MIB change the package.
#
# Every run unpacks into a folder of its own and nothing is deleted before the end: ext4 skips
# recently freed inodes when it allocates new ones, so a run right after deleting 20,000 files
# is several times slower, whichever program it is. That needs 6 x RUNS + 3 times the package
# size of free disk (about 11 GiB with the defaults) in BUILD_DIR, or in ZAV_BENCH_DIR when set;
# everything is deleted at the end.
set -euo pipefail

if [ $# -lt 1 ] || [ ! -x "$1/bin/zav-pkg" ] || [ ! -x "$1/bin/zav-pkg-bench-tree" ]; then
    echo "usage: $0 BUILD_DIR [RUNS]   (BUILD_DIR/bin/zav-pkg and zav-pkg-bench-tree must exist)" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
runs=${2:-3}
files=${ZAV_BENCH_FILES:-20000}
mib=${ZAV_BENCH_MIB:-500}
zavpkg=$build/bin/zav-pkg
id=org.example.Bench

work=$(mktemp -d "${ZAV_BENCH_DIR:-$build}/bench-pkg.XXXXXX")
trap 'rm -rf "$work"' EXIT
needed=$(( (6 * runs + 3) * mib * 1024 * 1024 ))
available=$(df --output=avail -B1 "$work" | tail -n 1)
if [ "$available" -lt "$needed" ]; then
    echo "$0: needs $((needed >> 30)) GiB free in $(dirname "$work"), has $((available >> 30)) GiB" >&2
    exit 1
fi

echo "writing $files files, $mib MiB, and packing them (gzip, zstd)..." >&2
"$build/bin/zav-pkg-bench-tree" "$work/tree" "$files" "$mib"
tar -C "$work/tree" -cf - . | gzip > "$work/package.tar.gz"
tar -C "$work/tree" -cf - . | zstd -q > "$work/package.tar.zst"
entries=$(cd "$work/tree" && find . -mindepth 1 | wc -l)

now_ns() { date +%s%N; }

# run_one KIND FORMAT RUN: one unpacking into a new empty folder; appends
# "microseconds peak_rss_kib" to $work/KIND-FORMAT.
run_one() {
    local kind=$1 format=$2 package=$work/package.tar.$2 out=$work/out-$1-$2-$3 start end tree
    mkdir "$out"
    sync
    start=$(now_ns)
    case $kind in
    zav-pkg)
        /usr/bin/time -f %M -o "$work/rss" "$zavpkg" -dumplog -verbose -pkg "$package" \
            -target "$out" > "$work/zav.out" 2> "$work/zav.err" \
            || { tail -n 5 "$work/zav.err" >&2; exit 1; }
        tree=$out/.local/opt/$id ;;
    tar)
        /usr/bin/time -f %M -o "$work/rss" tar -xf "$package" -C "$out"
        tree=$out ;;
    tar+sync)
        /usr/bin/time -f %M -o "$work/rss" sh -c 'tar -xf "$1" -C "$2" && sync' sh "$package" "$out"
        tree=$out ;;
    esac
    end=$(now_ns)
    local found
    found=$(cd "$tree" && find . -mindepth 1 | wc -l)
    [ "$found" -eq "$entries" ] || { echo "$kind $format: $found entries, expected $entries" >&2; exit 1; }
    echo "$(( (end - start) / 1000 )) $(tail -n 1 "$work/rss")" >> "$work/$kind-$format"
}

median() { # FILE COLUMN
    sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for format in gz zst; do
    for run in $(seq 1 "$runs"); do
        if [ $((run % 2)) -eq 1 ]; then order="zav-pkg tar tar+sync"; else order="tar+sync tar zav-pkg"; fi
        for kind in $order; do
            echo "$format run $run: $kind" >&2
            run_one "$kind" "$format" "$run"
        done
    done
done

echo
echo "zav-pkg against tar -xf: $entries entries, $mib MiB; median of $runs runs"
printf '%-6s %10s %10s %14s %9s %9s %16s %12s\n' format "tar -xf" zav-pkg "tar -xf+sync" ratio "ratio+sync" "zav-pkg peak" "tar peak"
for format in gz zst; do
    tar_us=$(median "$work/tar-$format" 1)
    sync_us=$(median "$work/tar+sync-$format" 1)
    zav_us=$(median "$work/zav-pkg-$format" 1)
    zav_rss=$(sort -n -k2 "$work/zav-pkg-$format" | tail -n 1 | awk '{ print $2 }')
    tar_rss=$(sort -n -k2 "$work/tar-$format" | tail -n 1 | awk '{ print $2 }')
    awk -v f="$format" -v t="$tar_us" -v s="$sync_us" -v z="$zav_us" -v zr="$zav_rss" -v tr="$tar_rss" 'BEGIN {
        printf "%-6s %8.2f s %8.2f s %12.2f s %8.2fx %8.2fx %12.1f MiB %8.1f MiB\n", f, t / 1e6, z / 1e6, s / 1e6, z / t, z / s, zr / 1024, tr / 1024
        printf "       target: at most 1.3x tar -xf: %s; peak memory under 64 MiB: %s\n", (z / t <= 1.3) ? "met" : "MISSED", (zr < 65536) ? "met" : "MISSED"
    }'
done
echo
echo "every run, in seconds (order of running):"
for format in gz zst; do
    for kind in zav-pkg tar tar+sync; do
        printf '  %-4s %-9s %s\n' "$format" "$kind" "$(awk '{ printf "%.2f ", $1 / 1e6 }' "$work/$kind-$format")"
    done
done

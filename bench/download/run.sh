#!/usr/bin/env bash
# The verified package download (SHA-256 and size checked as the bytes stream in) against
# `curl -o FILE && sha256sum FILE`, on a loopback nginx. Builds nothing: pass a build folder
# in which zav-download-bench has been built (an optimised build gives the meaningful figures).
#
#   bench/download/run.sh BUILD_DIR [RUNS]
#
# RUNS (default 3) runs of each downloader per size, alternating between the two, each writing
# into the same private temporary directory. Needs about 2 GiB of free disk in BUILD_DIR (or
# in ZAV_BENCH_DIR when set); everything is deleted at the end.
set -euo pipefail

if [ $# -lt 1 ] || [ ! -x "$1/bin/zav-download-bench" ]; then
    echo "usage: $0 BUILD_DIR [RUNS]   (BUILD_DIR/bin/zav-download-bench must exist)" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
runs=${2:-3}
driver=$build/bin/zav-download-bench
source "$root/scripts/lib/nginx.sh"

work=$(mktemp -d "${ZAV_BENCH_DIR:-$build}/bench-download.XXXXXX")
cleanup() {
    zav_nginx_stop "$work/nginx"
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/nginx" "$work/tmp"
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$work/www/big.bin"
head -c $((1024 * 1024)) /dev/urandom > "$work/www/small.bin"
zav_nginx_start_free "$work/nginx" "$work/www"
# What the feed would pin, computed before any timing.
for name in small big; do
    echo "$(sha256sum < "$work/www/$name.bin" | cut -d' ' -f1) $(stat -c %s "$work/www/$name.bin")" \
        > "$work/$name.pin"
done
base="http://127.0.0.1:$ZAV_NGINX_PORT"

# The installer's private temporary directory; curl writes into it as well.
export TMPDIR=$work/tmp
dest=$TMPDIR/zav-$(id -u)
mkdir -m 0700 -p "$dest"

now_ns() { date +%s%N; }

# Both downloaders and the server run at a raised priority when that is allowed (root), so that
# other work on the machine disturbs the comparison less; otherwise at the normal one.
prio=()
if [ "$(nice -n -10 nice 2>/dev/null)" = "-10" ]; then
    prio=(nice -n -10)
    renice -n -10 -p "$(cat "$work/nginx/server.pid")" > /dev/null
fi

# run_one KIND NAME: one download; appends "microseconds peak_rss_kib deliveries" to
# $work/KIND-NAME.
run_one() {
    local kind=$1 name=$2 start end out deliveries=0
    if [ "$kind" = zav ]; then
        out=$dest/tmp-$name.bin
        start=$(now_ns)
        # shellcheck disable=SC2046 # the digest and the size, two arguments
        "${prio[@]}" /usr/bin/time -f %M -o "$work/rss" "$driver" "$base/$name.bin" \
            $(cat "$work/$name.pin") > "$work/driver.out" 2> "$work/driver.err" ||
            { cat "$work/driver.err" >&2; exit 1; }
        end=$(now_ns)
        deliveries=$(sed -n 's/.*progress_deliveries=\([0-9]*\).*/\1/p' "$work/driver.out")
    else
        out=$dest/curl-$name.bin
        start=$(now_ns)
        "${prio[@]}" /usr/bin/time -f %M -o "$work/rss" \
            sh -c 'curl -s -f -o "$1" "$2" && sha256sum "$1"' sh "$out" "$base/$name.bin" \
            > "$work/sum"
        end=$(now_ns)
        if [ "$(cut -d' ' -f1 "$work/sum")" != "$(cut -d' ' -f1 "$work/$name.pin")" ]; then
            echo "curl: $name.bin has another SHA-256" >&2
            exit 1
        fi
    fi
    if ! cmp -s "$out" "$work/www/$name.bin"; then
        echo "$kind: $name.bin differs from the served file" >&2
        exit 1
    fi
    rm -f "$out"
    echo "$(( (end - start) / 1000 )) $(tail -n 1 "$work/rss") $deliveries" >> "$work/$kind-$name"
}

# median FILE COLUMN
median() {
    cut -d' ' -f"$2" "$1" | sort -n |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for name in small big; do
    for i in $(seq 1 "$runs"); do
        # Alternate which one goes first, so that neither always meets a warmer cache.
        if [ $((i % 2)) -eq 1 ]; then run_one zav $name; run_one curl $name
        else run_one curl $name; run_one zav $name; fi
    done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
secs() { awk -v us="$1" 'BEGIN { printf "%.3f", us / 1e6 }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

echo "download benchmark: $runs runs each, alternating, nginx on 127.0.0.1," \
    "into $dest${prio:+ (at nice -10)}"
row='%-6s %12s %12s %10s %14s %14s\n'
printf "$row" size "zav wall s" "curl+sum s" "wall ratio" "zav peak MiB" "curl peak MiB"
for name in small big; do
    label=$([ $name = small ] && echo "1 MiB" || echo "1 GiB")
    zw=$(median "$work/zav-$name" 1); cw=$(median "$work/curl-$name" 1)
    zr=$(median "$work/zav-$name" 2); cr=$(median "$work/curl-$name" 2)
    printf "$row" "$label" "$(secs "$zw")" "$(secs "$cw")" "$(ratio "$zw" "$cw")" \
        "$(mib "$zr")" "$(mib "$cr")"
done
runs_of() { cut -d' ' -f1 "$1" | awk '{ printf " %.3f", $1 / 1e6 }'; }
echo "1 GiB runs, wall s: zav$(runs_of "$work/zav-big"); curl+sha256sum$(runs_of "$work/curl-big")"
zw=$(median "$work/zav-big" 1); cw=$(median "$work/curl-big" 1)
echo "median wall-time ratio verified zav / (curl -o && sha256sum), 1 GiB:" \
    "$(ratio "$zw" "$cw") (target <= 0.60)"
zr=$(median "$work/zav-big" 2); sr=$(median "$work/zav-small" 2)
echo "peak memory ratio zav 1 GiB / 1 MiB: $(ratio "$zr" "$sr") (target <= 1.25)"
most=$(cut -d' ' -f3 "$work/zav-big" | sort -n | tail -n 1)
echo "progress deliveries to the main thread, 1 GiB: median $(median "$work/zav-big" 3), max $most"

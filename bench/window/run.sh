#!/usr/bin/env bash
# The main thread's event loop through a whole run of the real window: feed, a 1 GiB download
# and its install with zav-pkg, from a loopback nginx; against a baseline, an event loop that
# only waits while curl and then zav-pkg do the same work. Builds nothing: pass a build folder
# in which zav-window-bench, zav-pkg and zav-fixture have been built (an optimised build gives
# the meaningful figures).
#
#   bench/window/run.sh BUILD_DIR [RUNS]
#
# RUNS (default 3) runs of each, alternating which goes first, each into a home and temporary
# directory of its own under the work folder, deleted after the run. ZAV_BENCH_MIB (default
# 1024) sets the amount of random data in the package; ZAV_BENCH_NICE=0 leaves the priority
# alone (see below). Needs about 4 times that amount free in BUILD_DIR (or in ZAV_BENCH_DIR when
# set); everything is deleted at the end. nginx listens on a free loopback port, which both
# runs reach as their HTTP proxy (http_proxy): the driver's feed URL names a host that never
# resolves.
set -euo pipefail

if [ $# -lt 1 ] || [ ! -x "$1/bin/zav-window-bench" ] || [ ! -x "$1/bin/zav-pkg" ] ||
    [ ! -x "$1/tests/fixture/appdir/org.example.ZavFixture/bin/zav-fixture" ]; then
    echo "usage: $0 BUILD_DIR [RUNS]   (BUILD_DIR needs the targets zav-window-bench, zav-pkg" \
        "and zav-fixture built)" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
runs=${2:-3}
mib=${ZAV_BENCH_MIB:-1024}
driver=$build/bin/zav-window-bench
app_id=org.example.ZavFixture
source "$root/scripts/lib/nginx.sh"

feed_url=$("$driver" --feed-url)
base=${feed_url%/feed.json}
if [ "$base" = "$feed_url" ] || [ "${base#http://}" = "$base" ]; then
    echo "$0: the driver's feed URL is $feed_url, expected http://HOST/feed.json" >&2
    exit 1
fi

work=$(mktemp -d "${ZAV_BENCH_DIR:-$build}/bench-window.XXXXXX")
cleanup() {
    zav_nginx_stop "$work/nginx"
    rm -rf "$work"
}
trap cleanup EXIT

needed=$(( 4 * mib * 1024 * 1024 ))
available=$(df --output=avail -B1 "$work" | tail -n 1)
if [ "$available" -lt "$needed" ]; then
    echo "$0: needs $((needed >> 30)) GiB free in $(dirname "$work")," \
        "has $((available >> 30)) GiB" >&2
    exit 1
fi

# The package: the fixture product's application directory at the root of a plain tar (zav-pkg
# tells compression from the content), with random data that no compression would shrink.
echo "writing a package with $mib MiB of random data..." >&2
mkdir -p "$work/www" "$work/nginx"
stage=$work/stage
cp -a "$build/tests/fixture/appdir/$app_id" "$stage"
mkdir "$stage/data"
left=$mib
i=0
while [ "$left" -gt 0 ]; do
    chunk=$(( left < 256 ? left : 256 ))
    head -c $((chunk * 1024 * 1024)) /dev/urandom > "$stage/data/blob-$i.bin"
    left=$((left - chunk))
    i=$((i + 1))
done
package=ZavFixture-1.0.tar
tar -C "$stage" -cf "$work/www/$package" .
rm -rf "$stage"
package_bytes=$(stat -c %s "$work/www/$package")
cat > "$work/www/feed.json" <<JSON
{"product": "Zav Fixture", "bundleId": "$app_id", "version": "1.0",
 "pkgUrl": "$base/$package", "autoLaunch": false}
JSON

zav_nginx_start_free "$work/nginx" "$work/www" || exit 1
port=$ZAV_NGINX_PORT

# The driver (and the zav-pkg it starts) and the server run at a raised priority when that is
# allowed (root), so that other work on the machine disturbs the figures less; ZAV_BENCH_NICE=0
# keeps the normal one.
prio=()
if [ "${ZAV_BENCH_NICE:-1}" != 0 ] && [ "$(nice -n -10 nice 2>/dev/null)" = "-10" ]; then
    prio=(nice -n -10)
    renice -n -10 -p "$(cat "$work/nginx/server.pid")" > /dev/null
fi

# run_one KIND RUN: one run of the driver (KIND window or baseline) into a home and temporary
# directory of its own; its report goes to $work/KIND-RUN.out, its standard error (the
# installer's log, zav-pkg's output) to $work/KIND-RUN.log.
run_one() {
    local kind=$1 run=$2 dir=$work/$1-$2 args=() installed
    mkdir -p "$dir/home" "$dir/tmp"
    if [ "$kind" = baseline ]; then
        args=(--baseline "$base/$package" "$dir/tmp/$package")
    fi
    echo "run $run of $runs: $kind" >&2
    if ! env -u https_proxy -u HTTPS_PROXY -u all_proxy -u ALL_PROXY -u no_proxy -u NO_PROXY \
        -u HTTP_PROXY http_proxy="http://127.0.0.1:$port" \
        HOME="$dir/home" TMPDIR="$dir/tmp" XDG_DATA_HOME="$dir/home/.local/share" \
        XDG_CONFIG_HOME="$dir/home/.config" XDG_CACHE_HOME="$dir/home/.cache" \
        QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" \
        "${prio[@]}" "$driver" "${args[@]}" > "$work/$kind-$run.out" 2> "$work/$kind-$run.log"; then
        grep -v '^zav-pkg' "$work/$kind-$run.out" >&2 || true
        echo "--- $kind log (last lines):" >&2
        tail -n 20 "$work/$kind-$run.log" >&2
        exit 1
    fi
    installed=$(du -sb "$dir/home/.local/opt/$app_id" 2>/dev/null | cut -f1)
    if [ "${installed:-0}" -lt $((mib * 1024 * 1024)) ]; then
        echo "$0: $kind run $run: the product is not installed in full under the home" >&2
        exit 1
    fi
    rm -rf "$dir"
}

for run in $(seq 1 "$runs"); do
    # Alternate which one goes first, so that neither always meets a warmer cache.
    if [ $((run % 2)) -eq 1 ]; then run_one window "$run"; run_one baseline "$run"
    else run_one baseline "$run"; run_one window "$run"; fi
done

# field KIND RUN PHASE KEY: one figure of the driver's report.
field() {
    sed -n "s/^phase=$3 .*\<$4=\([-0-9.]*\).*/\1/p" "$work/$1-$2.out"
}
# every KIND PHASE KEY: that figure of every run, one a line.
every() {
    local run
    for run in $(seq 1 "$runs"); do field "$1" "$run" "$2" "$3"; done
}
median() {
    sort -n | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
largest() { sort -n | tail -n 1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo
echo "window benchmark: $runs runs of each, alternating; package $((package_bytes / 1024 / 1024))" \
    "MiB (plain tar, random data) from nginx on 127.0.0.1:$port;" \
    "QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}; 1 ms timer on the main thread${prio:+;}" \
    "${prio:+at nice -10}"
echo "window: the installer window's whole run; baseline: an event loop that only waits for" \
    "curl, then zav-pkg, on the same package"
row='%-9s %-9s %8s %11s %9s %8s %8s %8s %11s %10s %12s\n'
printf "$row" phase run "median s" "longest ms" "max ms" "p99 ms" "cpu ms" "wait ms" \
    "busiest ms" "main cpu %" "watchdog ms"
for phase in download install; do
    for kind in window baseline; do
        printf "$row" "$phase" "$kind" "$(every $kind $phase seconds | median)" \
            "$(every $kind $phase longest_ms | median)" \
            "$(every $kind $phase longest_ms | largest)" \
            "$(every $kind $phase p99_ms | median)" \
            "$(every $kind $phase longest_cpu_ms | median)" \
            "$(every $kind $phase longest_wait_ms | median)" \
            "$(every $kind $phase busiest_ms | median)" \
            "$(every $kind $phase main_cpu_pct | median)" \
            "$(every $kind $phase watchdog_late_ms | median)"
    done
done
echo "(medians over the runs, but \"max ms\": the longest stall of any run. Within the longest" \
    "stall, \"cpu ms\": the main thread running, \"wait ms\": runnable, waiting for a core." \
    "\"busiest ms\": the most main-thread CPU between two ticks. \"main cpu %\": the main" \
    "thread's CPU over the stage, of one core. \"watchdog ms\": how late a plain thread's 2 ms" \
    "sleeps ended, at most, over the stage)"
echo
for phase in download install; do
    for kind in window baseline; do
        printf 'longest stall, %-8s %-8s every run (ms):%s\n' "$phase" "$kind" \
            "$(every $kind $phase longest_ms | awk '{ printf " %s", $1 }')"
    done
done
echo
for phase in download install; do
    med=$(every window $phase longest_ms | median)
    most=$(every window $phase longest_ms | largest)
    base=$(every baseline $phase longest_ms | median)
    echo "longest stall of the window's event loop, $phase: median $med ms" \
        "($(awk -v m="$med" 'BEGIN { print (m < 50) ? "met" : "MISSED" }')), max $most ms" \
        "($(awk -v m="$most" 'BEGIN { print (m < 50) ? "met" : "MISSED" }')); target < 50 ms." \
        "Median against the baseline's ($base ms): $(ratio "$med" "$base")x"
done
for phase in download install; do
    echo "the window's own longest stretch of work on the main thread, $phase:" \
        "median $(every window $phase busiest_ms | median) ms," \
        "max $(every window $phase busiest_ms | largest) ms" \
        "(baseline: max $(every baseline $phase busiest_ms | largest) ms)"
done
deliveries=$(for run in $(seq 1 "$runs"); do
    sed -n 's/.*progress_deliveries=\([0-9]*\).*/\1/p' "$work/window-$run.out"; done | median)
echo "progress deliveries to the window per run: median $deliveries"

echo
echo "every run, as the driver reported it:"
for run in $(seq 1 "$runs"); do
    for kind in window baseline; do
        grep -E '^phase=(download|install) ' "$work/$kind-$run.out" | sed "s/^/  $kind $run: /"
    done
done

# Where the worst stall of each phase happened, as the driver saw it.
for kind in window baseline; do
    for phase in download install; do
        worst=1
        for run in $(seq 1 "$runs"); do
            if awk -v a="$(field $kind "$run" $phase longest_ms)" \
                -v b="$(field $kind "$worst" $phase longest_ms)" 'BEGIN { exit !(a > b) }'; then
                worst=$run
            fi
        done
        echo
        echo "$kind run $worst, the worst $phase stall:"
        sed -n "/^  longest $phase stall/,/^[^ ]/p" "$work/$kind-$worst.out" |
            awk '/^ / && n++ < 40'
    done
done

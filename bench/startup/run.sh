#!/usr/bin/env bash
# Start-up to the first window: the installer as built (the baseline), from the bundle's
# unpacked folder (its own loader and libraries), and through the .run (unpack, start, and the
# same). Builds nothing: run scripts/bundle first.
#
#   bench/startup/run.sh [BUILD_DIR [RUNS]]
#
# BUILD_DIR: the Release build scripts/bundle made (default build-bundle); the bundle is
# dist/$ZAV_BUNDLE_NAME-x86_64.run and its folder dist/$ZAV_BUNDLE_NAME (default zav-installer).
# RUNS (default 7) of each, in turn, on a private Xvfb, each with a throw-away home; the time
# is from the start of the command to the installer's window being mapped (xdotool, polled
# every 5 ms). Prints the median and best of each and the ratios against the baseline.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-bundle}" && pwd)
runs=${2:-7}
name=${ZAV_BUNDLE_NAME:-zav-installer}
run=$root/dist/$name-x86_64.run
folder=$root/dist/$name
for f in "$build/bin/zav-installer" "$run" "$folder/zav-installer"; do
    [ -x "$f" ] || { echo "$0: $f is missing: run scripts/bundle first" >&2; exit 2; }
done

work=$(mktemp -d)
source "$root/scripts/lib/xvfb.sh"
cleanup() {
    zav_xvfb_stop
    rm -rf "$work"
}
trap cleanup EXIT
zav_xvfb_start "$work" || exit 1
display=$ZAV_XVFB_DISPLAY

# Milliseconds from the start of COMMAND to the installer's window; the command is then ended.
startup_ms() {
    local start end pid
    rm -rf "$work/home" "$work/tmp" && mkdir -p "$work/home" "$work/tmp"
    start=$(date +%s%N)
    env HOME="$work/home" TMPDIR="$work/tmp" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
        setsid "$@" > "$work/out.log" 2>&1 &
    pid=$!
    until DISPLAY=$display xdotool search --onlyvisible --name '^Installer$' > /dev/null 2>&1; do
        kill -0 "$pid" 2>/dev/null || { cat "$work/out.log" >&2; return 1; }
        sleep 0.005
    done
    end=$(date +%s%N)
    # The installer runs in a process group of its own, with the .run's stub where there is
    # one: the stub waits for it, then removes its folder.
    kill -TERM -- "-$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo $(( (end - start) / 1000000 ))
}

declare -A times
for i in $(seq 1 "$runs"); do
    times[baseline]+=" $(startup_ms "$build/bin/zav-installer")"
    times[folder]+=" $(startup_ms "$folder/zav-installer")"
    times[run]+=" $(startup_ms sh "$run")"
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
best() { tr ' ' '\n' | grep . | sort -n | head -1; }
base=$(median <<< "${times[baseline]}")
echo "start-up to the first window, $runs runs each (ms):"
for kind in baseline folder run; do
    m=$(median <<< "${times[$kind]}")
    printf '  %-8s median %5d  best %5d  ratio %s   [%s ]\n' "$kind" "$m" \
        "$(best <<< "${times[$kind]}")" "$(awk -v m="$m" -v b="$base" 'BEGIN { printf "%.2f", m / b }')" \
        "${times[$kind]}"
done
echo "targets: folder within 1.2x the baseline; .run within 1500 ms"

# shellcheck shell=bash
# A private X display under Xvfb for scripts and tests. Sourced.
#
#   zav_xvfb_start DIR [SCREEN]   starts Xvfb (log in DIR/xvfb.log); sets ZAV_XVFB_PID and
#                                 ZAV_XVFB_DISPLAY (":N") once the display answers
#   zav_xvfb_stop
# Xvfb picks a free display number itself (-displayfd) and writes it once it accepts clients,
# so no number is guessed and none is taken from another server. -noreset: by default Xvfb
# resets when its last client leaves, and a client that connects during the reset fails.

zav_xvfb_start() {
    local dir=$1 screen=${2:-800x600x24}
    mkdir -p "$dir"
    : > "$dir/xvfb.display"
    Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "$screen" \
        3> "$dir/xvfb.display" > "$dir/xvfb.log" 2>&1 &
    ZAV_XVFB_PID=$!
    ZAV_XVFB_DISPLAY=
    for _ in $(seq 1 200); do
        if [ "$(wc -l < "$dir/xvfb.display")" -ge 1 ]; then
            ZAV_XVFB_DISPLAY=:$(head -n 1 "$dir/xvfb.display")
            DISPLAY=$ZAV_XVFB_DISPLAY xdpyinfo > /dev/null 2>&1 && return 0
            break
        fi
        kill -0 "$ZAV_XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    zav_xvfb_stop
    return 1
}

zav_xvfb_stop() {
    [ -n "${ZAV_XVFB_PID:-}" ] || return 0
    kill "$ZAV_XVFB_PID" 2>/dev/null && wait "$ZAV_XVFB_PID" 2>/dev/null || true
    ZAV_XVFB_PID=
    return 0
}

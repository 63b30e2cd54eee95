# shellcheck shell=bash
# Shared by the end-to-end tests: the real installer, built with a feed URL on a host name that
# never resolves, against nginx, with its own HOME and TMPDIR under a work folder, on a private
# Xvfb display so that the test can answer its alerts the way a person would (xdotool: focus
# the alert, press Return). nginx listens on a free loopback port, which the installer reaches
# as its HTTP proxy (http_proxy, honoured as a user's proxy is): no port is fixed, and the tests
# can run side by side.
#
#   e2e_setup INSTALLER BASE WORKDIR   BASE: the installer's feed host (http://NAME); work
#                                      folder, Xvfb, cleanup on exit
#   e2e_feed JSON                      the feed document nginx serves
#   e2e_package VERSION [NAME]         packs the fixture product as www/packages/NAME
#   e2e_signed_feed SERIAL             the feed of www/packages/ZavFixture-2.0.tar.gz as it is
#                                      now, signed with the test's key (ZAV_E2E_SIGNING_KEY)
#   e2e_start_server                   nginx on a free port (E2E_PORT); ZAV_NGINX_EXTRA applies
#   e2e_run_installer                  starts it in the background (E2E_PID, log in $E2E_LOG)
#   e2e_wait_for_line TEXT [SECS]      waits until the log has the line TEXT
#   e2e_wait_for_window TITLE [SECS]   waits for a window; sets E2E_WINDOW
#   e2e_press_return                   presses Return in E2E_WINDOW
#   e2e_wait_for_exit [SECS]           waits for the installer to end; sets E2E_STATUS
#   e2e_expect_one_error_alert CASE [SHOT]  one error alert, answered; the installer quits,
#                                      nothing installed (SHOT: save a picture of the alert)
#   e2e_fail MESSAGE

source "$ZAV_SOURCE_DIR/scripts/lib/nginx.sh"
source "$ZAV_SOURCE_DIR/scripts/lib/xvfb.sh"

# The fixture product, packed under an id of this run's own: the installer looks for running
# copies of the product among all the user's processes, and other tests (or other checkouts'
# runs) may be running a fixture of their own at the same time.
E2E_FIXTURE_ID=org.example.ZavFixture
E2E_APP_ID=$E2E_FIXTURE_ID.Run$$x$RANDOM

e2e_setup() {
    # shellcheck disable=SC2034 # E2E_BASE is for the tests that source this file
    E2E_INSTALLER=$1 E2E_BASE=$2 E2E_WORK=$3
    E2E_PORT=
    rm -rf "$E2E_WORK"
    mkdir -p "$E2E_WORK/www/zavtarvex/app" "$E2E_WORK/www/packages" "$E2E_WORK/home" \
             "$E2E_WORK/tmp" "$E2E_WORK/records"
    E2E_HOME=$E2E_WORK/home
    E2E_LOG=$E2E_WORK/installer.log
    E2E_PID='' E2E_STATUS=''
    trap e2e_cleanup EXIT
    zav_xvfb_start "$E2E_WORK" || e2e_fail "Xvfb did not start"
    E2E_DISPLAY=$ZAV_XVFB_DISPLAY
}

e2e_feed() {
    printf '%s\n' "$1" > "$E2E_WORK/www/zavtarvex/app/zavtarvex.json"
}

# The fixture product as a package of the given version.
e2e_package() {
    local version=$1 name=${2:-ZavFixture-$1.tar.gz}
    local src=$ZAV_BINARY_DIR/tests/fixture/appdir/$E2E_FIXTURE_ID stage=$E2E_WORK/stage-$version
    rm -rf "$stage"
    cp -a "$src" "$stage"
    mv "$stage/$E2E_FIXTURE_ID.desktop" "$stage/$E2E_APP_ID.desktop"
    sed -i "s/^X-Package-Version=.*/X-Package-Version=$version/" "$stage/$E2E_APP_ID.desktop"
    echo "$version" > "$stage/VERSION"
    tar -C "$stage" -czf "$E2E_WORK/www/packages/$name" .
}

e2e_signed_feed() {
    local pkg=$E2E_WORK/www/packages/ZavFixture-2.0.tar.gz
    local feed=$E2E_WORK/www/zavtarvex/app/zavtarvex.json
    e2e_feed "{\"product\": \"Zav Fixture\", \"bundleId\": \"$E2E_APP_ID\",
     \"pkgUrl\": \"$E2E_BASE/packages/ZavFixture-2.0.tar.gz\", \"autoLaunch\": false,
     \"pkgSha256\": \"$(sha256sum < "$pkg" | cut -d' ' -f1)\", \"pkgSize\": $(stat -c %s "$pkg"),
     \"feedSerial\": $1, \"expiresAt\": \"2999-01-01T00:00:00Z\",
     \"feedUrl\": \"$E2E_BASE/zavtarvex/app/zavtarvex.json\"}"
    rm -f "$feed.minisig"
    minisign -S -s "$ZAV_E2E_SIGNING_KEY" -m "$feed" > /dev/null || e2e_fail "minisign cannot sign"
}

e2e_start_server() {
    zav_nginx_start_free "$E2E_WORK/nginx" "$E2E_WORK/www" || e2e_fail "nginx did not start"
    E2E_PORT=$ZAV_NGINX_PORT
}

# Runs a command in the test's environment; `exec`, so that a background job's $! is its pid.
# The proxy settings are the test's own: its nginx for http, nothing else.
e2e_env() {
    exec env -u https_proxy -u HTTPS_PROXY -u all_proxy -u ALL_PROXY -u no_proxy -u NO_PROXY \
        -u HTTP_PROXY http_proxy="http://127.0.0.1:$E2E_PORT" \
        HOME="$E2E_HOME" TMPDIR="$E2E_WORK/tmp" XDG_DATA_HOME="$E2E_HOME/.local/share" \
        XDG_CONFIG_HOME="$E2E_HOME/.config" XDG_STATE_HOME="$E2E_HOME/.local/state" \
        DISPLAY="$E2E_DISPLAY" QT_QPA_PLATFORM=xcb \
        ZAV_FIXTURE_RECORD_DIR="$E2E_WORK/records" "$@"
}

e2e_run_installer() {
    # Emptied before the run starts, not by it: a wait for a line must not find the last run's.
    : > "$E2E_LOG"
    (e2e_env "$E2E_INSTALLER" > "$E2E_LOG" 2>&1) &
    E2E_PID=$!
}

e2e_wait_for_line() {
    local text=$1 seconds=${2:-60}
    for _ in $(seq 1 $((seconds * 10))); do
        grep -qF -- "] $text" "$E2E_LOG" 2>/dev/null && return 0
        sleep 0.1
    done
    e2e_fail "no log line \"$text\" within ${seconds}s"
}

e2e_has_line() {
    grep -qxE -- "[^]]*\] $1" "$E2E_LOG"
}

e2e_line_number() {
    grep -nxE -- "[^]]*\] $1" "$E2E_LOG" | head -1 | cut -d: -f1
}

e2e_windows() {
    DISPLAY=$E2E_DISPLAY xdotool search --onlyvisible --name "^$1\$" 2>/dev/null
}

e2e_wait_for_window() {
    local title=$1 seconds=${2:-60}
    for _ in $(seq 1 $((seconds * 10))); do
        E2E_WINDOW=$(e2e_windows "$title" | head -1)
        [ -n "$E2E_WINDOW" ] && return 0
        sleep 0.1
    done
    e2e_fail "no window \"$title\" within ${seconds}s"
}

# The pause lets a window just mapped finish drawing: a key before that can be lost.
e2e_press_return() {
    sleep 0.3
    DISPLAY=$E2E_DISPLAY xdotool windowfocus --sync "$E2E_WINDOW" key --clearmodifiers Return
}

e2e_press_space() {
    sleep 0.3
    DISPLAY=$E2E_DISPLAY xdotool windowfocus --sync "$E2E_WINDOW" key --clearmodifiers space
}

e2e_wait_for_exit() {
    local seconds=${1:-30}
    for _ in $(seq 1 $((seconds * 10))); do
        if ! kill -0 "$E2E_PID" 2>/dev/null; then
            wait "$E2E_PID"
            E2E_STATUS=$?
            E2E_PID=
            return 0
        fi
        sleep 0.1
    done
    e2e_fail "the installer did not end within ${seconds}s"
}

# Nothing of the product in the home: no application directory, entry or receipt.
e2e_assert_nothing_installed() {
    [ ! -e "$E2E_HOME/.local/opt/$E2E_APP_ID" ] || e2e_fail "the application directory exists"
    [ ! -e "$E2E_HOME/.local/share/applications/$E2E_APP_ID.desktop" ] ||
        e2e_fail "the desktop entry exists"
    [ ! -e "$E2E_HOME/.local/share/zav/receipts/$E2E_APP_ID.json" ] || e2e_fail "a receipt exists"
}

e2e_expect_one_error_alert() {
    local case=$1 expected=${2:-}
    e2e_wait_for_window "Could not complete installation" 60
    sleep 1 # a second alert would show meanwhile
    [ "$(e2e_windows "Could not complete installation" | wc -l)" -eq 1 ] ||
        e2e_fail "$case: more than one error alert"
    if [ -n "$expected" ]; then
        DISPLAY=$E2E_DISPLAY import -window "$E2E_WINDOW" "$E2E_WORK/alert.png" 2>/dev/null
    fi
    e2e_press_return
    e2e_wait_for_exit 20
    [ "$E2E_STATUS" -eq 1 ] || e2e_fail "$case: the installer ended with status $E2E_STATUS, not 1"
    e2e_assert_nothing_installed
    echo "ok: $case"
}

e2e_stop_fixtures() {
    local f pid
    for f in "$E2E_WORK"/records/*.started; do
        [ -e "$f" ] || continue
        pid=$(basename "$f" .started)
        kill -TERM "$pid" 2>/dev/null
    done
}

e2e_cleanup() {
    [ -n "$E2E_PID" ] && kill "$E2E_PID" 2>/dev/null && wait "$E2E_PID" 2>/dev/null
    e2e_stop_fixtures
    zav_nginx_stop "$E2E_WORK/nginx"
    zav_xvfb_stop
    return 0
}

e2e_fail() {
    echo "FAIL: $*" >&2
    echo "--- installer log:" >&2
    cat "$E2E_LOG" >&2 2>/dev/null
    exit 1
}

e2e_pass() {
    echo "1 passed, 0 failed"
    exit 0
}

# Shared by the end-to-end tests: a work folder, nginx on the installer's compiled-in port,
# the installer run offscreen with its own HOME and TMPDIR, and waiting on its log.
#   e2e_setup INSTALLER PORT WORKDIR
#   e2e_run_installer              starts it in the background (E2E_PID, log in $E2E_LOG)
#   e2e_wait_for_line TEXT [SECS]  waits until the log has a line ending in TEXT
#   e2e_fail MESSAGE

source "$ZAV_SOURCE_DIR/scripts/lib/nginx.sh"

e2e_setup() {
    E2E_INSTALLER=$1 E2E_PORT=$2 E2E_WORK=$3
    rm -rf "$E2E_WORK"
    mkdir -p "$E2E_WORK/www/zavtarvex/app" "$E2E_WORK/home" "$E2E_WORK/tmp"
    E2E_LOG=$E2E_WORK/installer.log
    E2E_PID=
    trap e2e_cleanup EXIT
}

e2e_start_server() {
    zav_nginx_start "$E2E_WORK/nginx" "$E2E_WORK/www" "$E2E_PORT" ||
        e2e_fail "nginx could not listen on 127.0.0.1:$E2E_PORT (is the port taken?)"
}

e2e_run_installer() {
    HOME=$E2E_WORK/home TMPDIR=$E2E_WORK/tmp XDG_DATA_HOME=$E2E_WORK/home/.local/share \
        QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$E2E_INSTALLER" > "$E2E_LOG" 2>&1 &
    E2E_PID=$!
}

e2e_wait_for_line() {
    local text=$1 seconds=${2:-30} i
    for i in $(seq 1 $((seconds * 10))); do
        grep -qF -- "] $text" "$E2E_LOG" 2>/dev/null && return 0
        sleep 0.1
    done
    e2e_fail "no log line \"$text\" within ${seconds}s"
}

e2e_cleanup() {
    [ -n "$E2E_PID" ] && kill "$E2E_PID" 2>/dev/null && wait "$E2E_PID" 2>/dev/null
    zav_nginx_stop "$E2E_WORK/nginx"
}

e2e_fail() {
    echo "FAIL: $*" >&2
    echo "--- installer log:" >&2
    cat "$E2E_LOG" >&2 2>/dev/null
    exit 1
}

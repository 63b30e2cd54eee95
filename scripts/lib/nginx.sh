# shellcheck shell=bash
# A throw-away nginx on a loopback port: one process, run as the calling user, with its config,
# logs and temporary files in a folder of its own. Sourced by scripts and tests.
#
#   zav_nginx_start DIR DOCROOT PORT   serve DOCROOT on 127.0.0.1:PORT (fails if PORT is taken)
#   zav_nginx_start_free DIR DOCROOT   the same on a free port; sets ZAV_NGINX_PORT
#   zav_nginx_stop DIR
# ZAV_NGINX_EXTRA, when set, is added to the server block (for example a rate limit);
# ZAV_NGINX_HTTP_EXTRA to the http block; ZAV_NGINX_LOCATION, when set, is what `location /`
# does instead of serving DOCROOT (for example a caching proxy in front of another nginx).

zav_nginx_write_config() {
    local dir=$1 docroot=$2 port=$3
    mkdir -p "$dir/tmp"
    cat > "$dir/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 256; }
http {
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    types { application/json json; }
    access_log $dir/access.log;
    client_body_temp_path $dir/tmp/body;
    proxy_temp_path $dir/tmp/proxy;
    fastcgi_temp_path $dir/tmp/fastcgi;
    uwsgi_temp_path $dir/tmp/uwsgi;
    scgi_temp_path $dir/tmp/scgi;
    sendfile on;
    ${ZAV_NGINX_HTTP_EXTRA:-}
    server {
        listen 127.0.0.1:$port;
        root $docroot;
        location / { ${ZAV_NGINX_LOCATION:-try_files \$uri =404;} }
        ${ZAV_NGINX_EXTRA:-}
    }
}
CONF
}

zav_nginx_port_open() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

zav_nginx_start() {
    local dir=$1 docroot=$2 port=$3
    zav_nginx_stop "$dir"
    zav_nginx_write_config "$dir" "$(cd "$docroot" && pwd)" "$port"
    : > "$dir/error.log"
    nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" > "$dir/stdout.log" 2>&1 &
    echo $! > "$dir/server.pid"
    for _ in $(seq 1 100); do
        if ! kill -0 "$(cat "$dir/server.pid")" 2>/dev/null; then
            cat "$dir/error.log" >&2
            return 1
        fi
        zav_nginx_port_open "$port" && return 0
        sleep 0.05
    done
    echo "nginx did not start on port $port" >&2
    return 1
}

zav_nginx_start_free() {
    local dir=$1 docroot=$2 port
    for _ in $(seq 1 20); do
        port=$((20000 + RANDOM % 40000))
        zav_nginx_port_open "$port" && continue
        if zav_nginx_start "$dir" "$docroot" "$port" 2>/dev/null; then
            # shellcheck disable=SC2034 # the caller reads it
            ZAV_NGINX_PORT=$port
            return 0
        fi
    done
    echo "could not start nginx on a free loopback port" >&2
    return 1
}

zav_nginx_stop() {
    local dir=$1 pid
    [ -f "$dir/server.pid" ] || return 0
    pid=$(cat "$dir/server.pid")
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    rm -f "$dir/server.pid"
    return 0
}

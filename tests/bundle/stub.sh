#!/usr/bin/env bash
# The .run stub, around a stand-in installer that records where it ran and with what, and
# exits with the status it is told: the status is passed through, the arguments arrive whole,
# a folder that cannot run programs, that another user could swap or that lacks room is
# skipped, the folder is always removed, also when a signal comes, and signals reach the
# program. Then bad bundle names, and the launch helper: the product gets the user's
# environment back.
#   stub.sh BIN WORKDIR
set -uo pipefail
source "$ZAV_SOURCE_DIR/scripts/lib/bundle.sh"
bin=$1 work=$2
rm -rf "$work" && mkdir -p "$work/fake/t/bin" "$work/home"
failed=0 passed=0
fail() { echo "FAIL: $row: $*" >&2; ok=0; }
ok=1
next() { [ "$ok" -eq 1 ] && passed=$((passed + 1)) || failed=$((failed + 1)); ok=1; }

cat > "$work/fake/t/zav-installer" <<'SH'
#!/bin/sh
cd "$(dirname "$0")/.." && pwd > "$RECORD.dir"
printf '[%s]' "$@" > "$RECORD.args"
[ "$FAKE_STATUS" = kill ] && kill -KILL $$
if [ "$FAKE_STATUS" = wait ]; then
    trap 'echo signalled > "$RECORD.signal"; exit 42' TERM HUP
    : > "$RECORD.waiting"
    while :; do sleep 0.1; done
fi
exit "$FAKE_STATUS"
SH
chmod 755 "$work/fake/t/zav-installer"
# 2 MB that do not compress, one half in each archive; the head: the decompressor and the
# loader, C library and libzstd it runs on.
head -c 1000000 /dev/urandom > "$work/fake/t/bin/a" && head -c 1000000 /dev/urandom > "$work/fake/t/bin/b"
mkdir -p "$work/fake/t/lib" && cp "$bin/zav-unzstd" "$work/fake/t/bin/"
for lib in $(zav_bundle_needed "$bin/zav-unzstd"); do
    case $lib in */ld-linux*) cp -L "$lib" "$work/fake/t/bin/" ;; *) cp -L "$lib" "$work/fake/t/lib/" ;; esac
done
ZAV_BUNDLE_GZIP=-1 ZAV_BUNDLE_ZSTD=-1 zav_bundle_pack "$work/fake" t
run=$work/fake/t-x86_64.run

# A folder where nothing may run: a noexec tmpfs when we may mount one, else (not root) a
# folder we cannot write.
noexec=$work/noexec
mkdir -p "$noexec"
if mount -t tmpfs -o noexec,size=4m tmpfs "$noexec" 2>/dev/null; then
    :
elif [ "$(id -u)" -ne 0 ]; then
    chmod 555 "$noexec"
else
    echo "cannot mount a noexec tmpfs: the noexec rows are left out" >&2
    noexec=
fi
# Too small for the folder (1 MB), and too few inodes for it (df sees room), when mountable.
small=$work/small few=$work/few
mkdir -p "$small" "$few"
mount -t tmpfs -o size=1m tmpfs "$small" 2>/dev/null || small=
mount -t tmpfs -o nr_inodes=4 tmpfs "$few" 2>/dev/null || few=
[ -n "$small" ] && [ -n "$few" ] || echo "cannot mount a tmpfs: the rows without room are left out" >&2
# Another user: as root, a folder of a uid no account uses; otherwise the row is left out.
other=$work/tmp
[ "$(id -u)" -eq 0 ] || { other= && echo "not root: the row of another user's folder is left out" >&2; }
trap 'umount "$work/noexec" "$work/small" "$work/few" 2>/dev/null; chmod 755 "$work/noexec"' EXIT

# row | how it is started | TMPDIR | XDG_RUNTIME_DIR | status told | status expected | where |
# what is done to the folders first
rows=(
    "TMPDIR others may write to, not sticky|sh|$work/tmp|$work/rt|0|0|$work/rt|chmod 777 $work/tmp"
    "below a folder others may write to|sh|$work/open/t|$work/rt|0|0|$work/rt|mkdir -p $work/open/t; chmod 777 $work/open"
    "sticky TMPDIR others may write to|sh|$work/tmp|$work/rt|0|0|$work/tmp|chmod 1777 $work/tmp"
    "another user's TMPDIR|sh|$other|$work/rt|0|0|$work/rt|chown 4242 $work/tmp"
    "TMPDIR too small|sh|$small|$work/rt|0|0|$work/rt|"
    "TMPDIR without inodes|exec|$few|$work/rt|0|0|$work/rt|"
    "sh, status passed|sh|$work/tmp|$work/rt|7|7|$work/tmp"
    "executable, status 0|exec|$work/tmp|$work/rt|0|0|$work/tmp"
    "noexec TMPDIR|sh|$noexec|$work/rt|3|3|$work/rt"
    "noexec TMPDIR, no runtime dir|exec|$noexec||0|0|$work/home/.cache"
    "installer killed|sh|$work/tmp|$work/rt|kill|137|$work/tmp"
    "damaged file|damaged|$work/tmp|$work/rt|0|126|"
    "one byte altered in a stored block|altered|$work/tmp|$work/rt|0|126|"
)
for line in "${rows[@]}"; do
    IFS='|' read -r row how tmp rt told expected where prepare <<< "$line"
    [ -z "$tmp" ] && continue
    rm -rf "$work/tmp" "$work/rt" "${work:?}/home" "$work/record".*
    mkdir -p "$work/tmp" "$work/rt" "$work/home"
    eval "$prepare"
    file=$run
    case $how in
    damaged) file=$work/damaged.run && head -c -100 "$run" > "$file" && set -- sh "$file" ;;
    # Amid the second half's random bytes, which zstd stores as they are: only its checksum
    # tells.
    altered)
        file=$work/altered.run && cp "$run" "$file" && set -- sh "$file"
        printf '\x5a' | dd of="$file" bs=1 seek=$(($(stat -c %s "$run") - 500000)) conv=notrunc 2> /dev/null
        ;;
    sh) set -- sh "$run" ;;
    exec) set -- "$run" ;;
    esac
    # shellcheck disable=SC2016 # '$HOME' must arrive as it is
    env -u XDG_RUNTIME_DIR HOME="$work/home" TMPDIR="$tmp" ${rt:+XDG_RUNTIME_DIR="$rt"} \
        RECORD="$work/record" FAKE_STATUS="$told" "$@" 'two words' '' '$HOME' 2> "$work/stderr"
    status=$?
    [ "$status" -eq "$expected" ] || fail "status $status, expected $expected ($(cat "$work/stderr"))"
    if [ -n "$where" ]; then
        [ "$(dirname "$(cat "$work/record.dir" 2>/dev/null)")" = "$where" ] ||
            fail "ran in $(cat "$work/record.dir" 2>/dev/null), expected a folder in $where"
        # shellcheck disable=SC2016 # the arguments as given
        [ "$(cat "$work/record.args" 2>/dev/null)" = '[two words][][$HOME]' ] ||
            fail "arguments $(cat "$work/record.args" 2>/dev/null)"
    fi
    for dir in "$work/tmp" "$work/rt" "$work/home/.cache" "$noexec" "$small" "$few"; do
        [ -z "$(ls -A "$dir" 2>/dev/null)" ] || fail "left behind in $dir: $(ls -A "$dir")"
    done
    next
done

# Signals. Row: what | when (unpack: mid-unpack, slowed down; run: while the program waits) |
# the signal | sent to the stub alone or to its process group (as Ctrl-C does) | status.
# The halves are read slowly (a tail from past the head trickles), the head at full speed.
mkdir -p "$work/slow"
past=$(($(sed -n 's/^zav_offset=\([0-9]*\).*/\1/p' "$run") + $(sed -n 's/^zav_head=\([0-9]*\).*/\1/p' "$run")))
# shellcheck disable=SC2016 # a script's text
printf '#!/bin/sh\n[ "${2#+}" -ge %s ] 2>/dev/null || exec %s "$@"\n%s "$@" | perl -e %s\n' "$past" \
    "$(command -v tail)" "$(command -v tail)" \
    "'\$|=1; while (read STDIN, \$b, 16384) { print \$b or exit 1; select undef, undef, undef, 0.05 }'" \
    > "$work/slow/tail" && chmod 755 "$work/slow/tail"
rows=(
    "Ctrl-C while unpacking|unpack|INT|group|130"
    "SIGTERM while unpacking|unpack|TERM|stub|143"
    "SIGHUP while unpacking|unpack|HUP|stub|129"
    "SIGTERM while the program runs|run|TERM|stub|42"
    "Ctrl-C while the program runs|run|INT|group|42"
)
for line in "${rows[@]}"; do
    IFS='|' read -r row when signal to expected <<< "$line"
    rm -rf "$work/tmp" "$work/record".* && mkdir -p "$work/tmp"
    slow= && [ "$when" = unpack ] && slow=$work/slow:
    # Started as from a terminal: SIGINT not ignored, as bash makes it for a background job.
    env -u XDG_RUNTIME_DIR --default-signal=INT PATH="$slow$PATH" HOME="$work/home" TMPDIR="$work/tmp" \
        RECORD="$work/record" FAKE_STATUS=wait setsid sh "$run" 2> "$work/stderr" &
    pid=$!
    for _ in $(seq 100); do
        [ -e "$work/record.waiting" ] || { [ "$when" = unpack ] && [ -n "$(ls "$work/tmp/"t.*/t/bin 2>/dev/null)" ]; } &&
            break
        sleep 0.05
    done
    sleep 0.2
    if [ "$to" = group ]; then kill -"$signal" -- -"$pid"; else kill -"$signal" "$pid"; fi
    for tenth in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && kill -KILL -- -"$pid"
    wait "$pid"
    status=$?
    [ "$status" -eq "$expected" ] || fail "status $status, expected $expected ($(cat "$work/stderr"))"
    [ "$when" = unpack ] && [ "$tenth" -gt 12 ] && fail "the unpack went on for $tenth tenths of a second"
    [ "$when" = run ] && [ ! -e "$work/record.signal" ] && fail "the program did not get the signal"
    left=$(pgrep -s "$pid") && kill -KILL -- -"$pid" && fail "left running: $left"
    [ -z "$(ls -A "$work/tmp")" ] || fail "left behind: $(ls -A "$work/tmp")"
    next
done

# Names that are not plain file names are refused before anything is built.
# shellcheck disable=SC2016 # given as they are
for name in 'two words' 'a&b' 'a"b' 'a/b' 'x$(touch pwned)'; do
    row="bundle name $name"
    out=$(cd "$work" && ZAV_BUNDLE_NAME=$name ZAV_BUNDLE_BUILD_DIR=$work/never timeout 60 \
          bash "$ZAV_SOURCE_DIR/scripts/bundle" 2>&1)
    status=$?
    if [ $status -ne 1 ] || [[ $out != *"is refused"* ]] || [ -e "$work/never" ] || [ -e "$work/pwned" ]; then
        fail "not refused at once (status $status): $out"
    fi
    next
done

# The launch helper, as GIO runs it: the variables the bundle changed are put back.
row="launch helper"
out=$(env ZAV_BUNDLE_VARS=" FONTCONFIG_FILE QT_PLUGIN_PATH GIO_LAUNCH_DESKTOP" \
      FONTCONFIG_FILE=/bundle/fonts.conf GIO_LAUNCH_DESKTOP=/bundle/bin/zav-launch-desktop \
      ZAV_SAVED_QT_PLUGIN_PATH="/user's plugins" ZAV_SAVED_GIO_LAUNCH_DESKTOP=/user/helper \
      "$bin/zav-launch-desktop" sh -c 'echo "pid=$$"; env' | sort)
pid=$(printf '%s\n' "$out" | sed -n 's/^pid=//p')
expected="FONTCONFIG_FILE= GIO_LAUNCH_DESKTOP=/user/helper GIO_LAUNCHED_DESKTOP_FILE_PID=$pid QT_PLUGIN_PATH=/user's plugins ZAV_="
got="FONTCONFIG_FILE=$(printf '%s\n' "$out" | grep -c '^FONTCONFIG_FILE=' | sed 's/^0$//')"
for name in GIO_LAUNCH_DESKTOP GIO_LAUNCHED_DESKTOP_FILE_PID QT_PLUGIN_PATH; do
    got="$got $(printf '%s\n' "$out" | grep "^$name=")"
done
got="$got ZAV_=$(printf '%s\n' "$out" | grep -E '^ZAV_(BUNDLE|SAVED)' | tr '\n' ' ' | sed 's/ $//')"
[ "$got" = "$expected" ] || fail "got: $got"
"$bin/zav-launch-desktop" /nonexistent/program 2> /dev/null
[ $? -eq 127 ] || fail "a program that cannot run is not status 127"
next

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# The .run stub, around a stand-in installer that records where it ran and with what, and
# exits with the status it is told: the status is passed through, the arguments arrive whole,
# a folder that cannot run programs is skipped, the folder is always removed. Then the launch
# helper: the product gets the user's environment back.
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
exit "$FAKE_STATUS"
SH
chmod 755 "$work/fake/t/zav-installer"
ZAV_BUNDLE_GZIP=-1 zav_bundle_pack "$work/fake" t
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
trap 'umount "$work/noexec" 2>/dev/null; chmod 755 "$work/noexec"' EXIT

# row | how it is started | TMPDIR | XDG_RUNTIME_DIR | status told | status expected | where
rows=(
    "sh, status passed|sh|$work/tmp|$work/rt|7|7|$work/tmp"
    "executable, status 0|exec|$work/tmp|$work/rt|0|0|$work/tmp"
    "noexec TMPDIR|sh|$noexec|$work/rt|3|3|$work/rt"
    "noexec TMPDIR, no runtime dir|exec|$noexec||0|0|$work/home/.cache"
    "installer killed|sh|$work/tmp|$work/rt|kill|137|$work/tmp"
    "damaged file|damaged|$work/tmp|$work/rt|0|126|"
)
for line in "${rows[@]}"; do
    IFS='|' read -r row how tmp rt told expected where <<< "$line"
    [ -z "$tmp" ] && continue
    rm -rf "$work/tmp" "$work/rt" "$work/home" "$work/record".*
    mkdir -p "$work/tmp" "$work/rt" "$work/home"
    file=$run
    case $how in
    damaged) file=$work/damaged.run && head -c -100 "$run" > "$file" && set -- sh "$file" ;;
    sh) set -- sh "$run" ;;
    exec) set -- "$run" ;;
    esac
    env -u XDG_RUNTIME_DIR HOME="$work/home" TMPDIR="$tmp" ${rt:+XDG_RUNTIME_DIR="$rt"} \
        RECORD="$work/record" FAKE_STATUS="$told" "$@" 'two words' '' '$HOME' 2> "$work/stderr"
    status=$?
    [ "$status" -eq "$expected" ] || fail "status $status, expected $expected ($(cat "$work/stderr"))"
    if [ -n "$where" ]; then
        [ "$(dirname "$(cat "$work/record.dir" 2>/dev/null)")" = "$where" ] ||
            fail "ran in $(cat "$work/record.dir" 2>/dev/null), expected a folder in $where"
        [ "$(cat "$work/record.args" 2>/dev/null)" = '[two words][][$HOME]' ] ||
            fail "arguments $(cat "$work/record.args" 2>/dev/null)"
    fi
    for dir in "$work/tmp" "$work/rt" "$work/home/.cache" "$noexec"; do
        [ -z "$(ls -A "$dir" 2>/dev/null)" ] || fail "left behind in $dir: $(ls -A "$dir")"
    done
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

#!/bin/sh
# @NAME@: unpacks the program behind this script into a private folder, runs it with the given
# arguments, removes the folder and exits with the program's status. Works as ./file and as
# sh file. The folder goes to the first of $TMPDIR (else /tmp), $XDG_RUNTIME_DIR, ~/.cache
# that is safe from other users (below), has room for the program and allows programs to run
# (a noexec mount is skipped); a place that fails otherwise while unpacking is left for the next.
#
# Why no other user can put their own program in place of ours: the private folder is made by
# mktemp -d (mode 0700) in a base folder that, like every folder above it, belongs to this user
# or root and, where group or others may write to it, has the sticky bit. In such a chain only
# this user or root may rename or remove an entry, so the folder's path keeps naming the folder
# mktemp made for as long as the program runs. Before the program is started by that path, the
# folder is checked once more: still a directory of this user's with mode 0700 and the inode it
# had when it was made, in a base that still passes.
#
# Signals: during the unpack, SIGINT, SIGTERM and SIGHUP stop both halves of it (sh makes a
# background job ignore SIGINT, so they get SIGTERM), wait for them and remove the folder. While
# the program runs, they are passed on to it and its status is this script's.
zav_name=@NAME@
zav_offset=@OFFSET@ # the archives start here: the head, gzip'd, then two zstd'd halves
zav_head=@HEAD@     # the head's length
zav_length=@LENGTH@ # the first half's length
zav_room=@ROOM@ # kilobytes the unpacked folder needs
zav_me=$(id -u)
zav_dir=
zav_pids=
zav_child=
zav_signal=
# shellcheck disable=SC2317 # run by the traps below
zav_leave() {
    if [ -n "$zav_pids" ]; then
        # shellcheck disable=SC2086 # a list of process ids
        kill $zav_pids 2>/dev/null
        wait
    fi
    if [ -n "$zav_dir" ]; then rm -rf "$zav_dir"; fi
}
# shellcheck disable=SC2317 # run by the traps below
zav_on() { # SIGNAL STATUS
    if [ -z "$zav_child" ]; then exit "$2"; fi
    zav_signal=$1
    # The program was started in the background, where SIGINT is ignored: it gets SIGTERM.
    if [ "$1" = INT ]; then kill -TERM "$zav_child"; else kill -"$1" "$zav_child"; fi 2>/dev/null
}
trap zav_leave EXIT
trap 'zav_on HUP 129' HUP
trap 'zav_on INT 130' INT
trap 'zav_on TERM 143' TERM

# zav_inode, zav_mode and zav_owner of a path, from ls (no stat(1) needed).
zav_stat() {
    zav_line=$(LC_ALL=C ls -dlin -- "$1" 2>/dev/null) || return 1
    read -r zav_inode zav_mode _ zav_owner _ <<EOF
$zav_line
EOF
}
# FOLDER belongs to this user or root, and no one else may rename or remove what is in it.
zav_safe() {
    zav_stat "$1" || return 1
    case $zav_owner in "$zav_me" | 0) ;; *) return 1 ;; esac
    case $zav_mode in
    d????????[tT]*) ;;   # sticky: only an entry's owner may rename it
    d????[!w]??[!w]*) ;; # neither group nor others may write
    *) return 1 ;;
    esac
}
# zav_base: the physical path of FOLDER, when it and every folder above it are safe.
zav_chain() {
    zav_base=$(CDPATH='' cd -P -- "$1" 2>/dev/null && pwd -P) || return 1
    zav_up=$zav_base
    while zav_safe "${zav_up:-/}"; do
        if [ -z "$zav_up" ]; then return 0; fi
        zav_up=${zav_up%/*}
    done
    return 1
}
# The private folder is this user's alone, with the inode it was made with ($1, when given).
zav_private() {
    zav_stat "$zav_dir" && [ "$zav_owner" = "$zav_me" ] && [ "$zav_inode" = "${1:-$zav_inode}" ] &&
        case $zav_mode in drwx------*) true ;; *) false ;; esac
}
# Room for the unpacked folder in FOLDER, or df cannot tell.
zav_fits() {
    zav_free=$(df -Pk -- "$1" 2>/dev/null | awk 'NR == 2 { print $4 }')
    case $zav_free in '' | *[!0-9]*) return 0 ;; esac
    [ "$zav_free" -ge "$zav_room" ]
}

# Unpacks into a private folder in BASE; fails, saying nothing, when BASE will not do.
zav_try() {
    [ -n "$1" ] && zav_chain "$1" && [ -w "$zav_base" ] && zav_fits "$zav_base" || return 1
    zav_dir=$(mktemp -d "$zav_base/$zav_name.XXXXXXXX" 2>/dev/null) || { zav_dir=; return 1; }
    if zav_private && zav_made=$zav_inode &&
        printf '#!/bin/sh\nexit 0\n' > "$zav_dir/probe" && chmod 700 "$zav_dir/probe" &&
        "$zav_dir/probe" 2>/dev/null && rm -f "$zav_dir/probe"; then
        zav_unpack && return 0
        # A place that fails while a whole file unpacks (no room, no inodes, a quota) is left
        # for the next one; the checks of the archives tell the two apart.
        if zav_damaged; then
            echo "$zav_name: this file is damaged or incomplete; download it again" >&2
            exit 126
        fi
    fi
    rm -rf "$zav_dir"
    zav_dir=
    return 1
}
# The decompressor the head brings, run by the folder's own loader on its C library and libzstd.
zav_unzstd() {
    "$zav_dir/$zav_name/bin/ld-linux-x86-64.so.2" --library-path "$zav_dir/$zav_name/lib" \
        "$zav_dir/$zav_name/bin/zav-unzstd"
}
# The folders first: the two halves are unpacked at once, and two tars making the same missing
# folder at the same moment can fail ("Cannot open: No such file or directory"). The archives'
# names are relative to the folder $zav_name. Then the head ($zav_head bytes from byte
# $zav_offset: the decompressor with what it runs on, and the installer), then the two
# halves at once on two cores: the first $zav_length bytes after the head, then the rest. Each
# tar is the last process of its background job, so $! is the process a signal stops; a
# decompressor's failure (a cut or altered file, seen only by gzip or zav-unzstd) leaves a mark
# in the folder.
zav_unpack() {
    zav_headed=
    while IFS= read -r zav_folder; do
        mkdir -p "$zav_dir/$zav_folder" || return 1
    done <<'ZAV_FOLDERS'
@FOLDERS@
ZAV_FOLDERS
    { tail -c +"$zav_offset" -- "$0" | head -c "$zav_head" | gzip -dc 2>/dev/null ||
        : > "$zav_dir/.damaged"; } 2>/dev/null | tar -xf - -C "$zav_dir/$zav_name" 2>/dev/null &
    zav_pids=$!
    wait "$zav_pids" && [ ! -e "$zav_dir/.damaged" ] || { zav_pids= && return 1; }
    zav_headed=1
    zav_from=$((zav_offset + zav_head))
    { tail -c +"$zav_from" -- "$0" | head -c "$zav_length" | zav_unzstd 2>/dev/null ||
        : > "$zav_dir/.damaged"; } 2>/dev/null | tar -xf - -C "$zav_dir/$zav_name" 2>/dev/null &
    zav_pids=$!
    { tail -c +$((zav_from + zav_length)) -- "$0" | zav_unzstd 2>/dev/null ||
        : > "$zav_dir/.damaged"; } 2>/dev/null | tar -xf - -C "$zav_dir/$zav_name" 2>/dev/null &
    zav_pids="$zav_pids $!"
    wait "${zav_pids% *}"
    zav_first=$?
    wait "${zav_pids#* }"
    zav_second=$?
    zav_pids=
    [ "$zav_first" -eq 0 ] && [ "$zav_second" -eq 0 ] && [ ! -e "$zav_dir/.damaged" ]
}
# The file is cut or altered: the head fails gzip's check, or, once the decompressor is there,
# the halves fail its checksums. A head that did not arrive whole but checks out tells nothing:
# the place is the fault.
zav_damaged() {
    tail -c +"$zav_offset" -- "$0" | head -c "$zav_head" | gzip -t 2>/dev/null || return 0
    [ -n "$zav_headed" ] || return 1
    ! tail -c +$((zav_offset + zav_head)) -- "$0" | zav_unzstd > /dev/null 2>&1
}

zav_cache=${HOME:+$HOME/.cache}
if ! zav_try "${TMPDIR:-/tmp}" && ! zav_try "${XDG_RUNTIME_DIR-}"; then
    [ -n "$zav_cache" ] && mkdir -p "$zav_cache" 2>/dev/null
    if ! zav_try "$zav_cache"; then
        echo "$zav_name: no folder to unpack into (tried \$TMPDIR, \$XDG_RUNTIME_DIR and" \
            "\$HOME/.cache: each must be yours or root's, sticky where others may write to it," \
            "allow programs to run and have $((zav_room / 1024 + 1)) MB free)" >&2
        exit 126
    fi
fi
zav_at=$zav_base
if ! zav_private "$zav_made" || ! zav_chain "$zav_at" || [ "$zav_base" != "$zav_at" ]; then
    echo "$zav_name: the folder it unpacked into ($zav_dir) was changed; not run" >&2
    exit 126
fi
# In the background, so that this script can pass signals on (its input is then /dev/null;
# it reads none).
"$zav_dir/$zav_name/zav-installer" "$@" &
zav_child=$!
zav_got=
while :; do
    zav_signal=
    wait "$zav_child"
    zav_status=$?
    # A passed-on signal ends wait early: wait again until the program itself has ended.
    if [ -z "$zav_signal" ]; then break; fi
    zav_got=$zav_signal
    kill -0 "$zav_child" 2>/dev/null || break
done
# Ended by the SIGTERM sent in place of SIGINT: the status of an interrupted run.
if [ "$zav_got" = INT ] && [ "$zav_status" -eq 143 ]; then zav_status=130; fi
exit "$zav_status"

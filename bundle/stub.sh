#!/bin/sh
# @NAME@: unpacks the program behind this script into a private folder, runs it with the given
# arguments, removes the folder and exits with the program's status. Works as ./file and as
# sh file. The folder goes to the first of $TMPDIR (else /tmp), $XDG_RUNTIME_DIR, ~/.cache
# that is writable and allows programs to run (a noexec mount is skipped).
zav_offset=@OFFSET@
zav_dir=
trap 'if [ -n "$zav_dir" ]; then rm -rf "$zav_dir"; fi' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

zav_try() {
    [ -n "$1" ] && [ -d "$1" ] && [ -w "$1" ] || return 1
    zav_dir=$(mktemp -d "$1/@NAME@.XXXXXXXX" 2>/dev/null) || { zav_dir=; return 1; }
    printf '#!/bin/sh\nexit 0\n' > "$zav_dir/probe" && chmod 700 "$zav_dir/probe" &&
        "$zav_dir/probe" 2>/dev/null && rm -f "$zav_dir/probe" && return 0
    rm -rf "$zav_dir"
    zav_dir=
    return 1
}
zav_cache=${HOME:+$HOME/.cache}
if ! zav_try "${TMPDIR:-/tmp}" && ! zav_try "${XDG_RUNTIME_DIR-}"; then
    [ -n "$zav_cache" ] && mkdir -p "$zav_cache" 2>/dev/null
    if ! zav_try "$zav_cache"; then
        echo "@NAME@: no folder to unpack into (tried \$TMPDIR, \$XDG_RUNTIME_DIR and ~/.cache)" >&2
        exit 126
    fi
fi
# The folders first: the two archives below are unpacked at once, and two tars making the same
# missing folder at the same moment can fail ("Cannot open: No such file or directory").
while IFS= read -r zav_folder; do
    mkdir -p "$zav_dir/$zav_folder" || exit 126
done <<'ZAV_FOLDERS'
@FOLDERS@
ZAV_FOLDERS
# The archive is two gzip'd tars of about equal size, unpacked at once on two cores: the first
# @LENGTH@ bytes from byte @OFFSET@, then the rest. gzip's own status comes through descriptor 3:
# only it sees a cut or altered file end to end.
zav_unpack() { # OFFSET [LENGTH]
    zav_gzip=$({ {
        if [ $# -gt 1 ]; then tail -c +"$1" -- "$0" | head -c "$2"; else tail -c +"$1" -- "$0"; fi |
            gzip -dc
        echo $? >&3
    } | tar -xf - -C "$zav_dir" >&2; } 3>&1) && [ "$zav_gzip" = 0 ]
}
zav_unpack $((zav_offset + @LENGTH@)) &
zav_second=$!
zav_unpack "$zav_offset" @LENGTH@
zav_first=$?
if ! wait "$zav_second" || [ "$zav_first" -ne 0 ]; then
    echo "@NAME@: this file is damaged or incomplete; download it again" >&2
    exit 126
fi
"$zav_dir/@NAME@/zav-installer" "$@"
exit $?

# shellcheck shell=bash
# Debian chroots in which the self-contained bundle is run as a new user would, with nothing but
# Xvfb added. Sourced by scripts/check-portable and scripts/check-kit (root only).
#
#   zav_chroots_ready CHROOTS MIRROR USER RELEASE...
#                     makes CHROOTS/RELEASE (minbase, debootstrap) once for each RELEASE, adds
#                     `xvfb xauth` and the account USER; marked ready by CHROOTS/RELEASE/.zav-ready
#   zav_chroot_run_check ROOT RELEASE RUN NAME ID USER LOG
#                     runs the .run RUN (unpacking to NAME.*) as USER with a throw-away home,
#                     under Xvfb, and checks: status 0, no loader error, the product ID installed
#                     and started with none of the bundle's variables, no unpacked folder left;
#                     then its desktop entry's Uninstall action removes it (to the trash).
#                     Prints "PASS RELEASE (...)" or "FAIL RELEASE: ..." with the log
#   zav_chroot_umount ROOT

zav_chroots_ready() {
    local chroots=$1 mirror=$2 user=$3 release root
    shift 3
    for release in "$@"; do
        root=$chroots/$release
        [ -e "$root/.zav-ready" ] && continue
        if [ ! -d "$root" ]; then
            echo "debootstrap $release (minutes, once) ..."
            rm -rf "$root.tmp"
            debootstrap --variant=minbase "$release" "$root.tmp" "$mirror" \
                > "$chroots/$release.log" 2>&1 || { tail "$chroots/$release.log"; return 1; }
            mv "$root.tmp" "$root"
        fi
        chroot "$root" sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -qq --no-install-recommends xvfb xauth" \
            >> "$chroots/$release.log" 2>&1 || { tail "$chroots/$release.log"; return 1; }
        chroot "$root" useradd -m -U "$user" >> "$chroots/$release.log" 2>&1
        touch "$root/.zav-ready"
    done
}

zav_chroot_umount() {
    umount "$1/dev/shm" "$1/dev" "$1/proc" 2>/dev/null
}

zav_chroot_run_check() {
    local root=$1 release=$2 run=$3 name=$4 id=$5 user=$6 log=$7
    local home status display pid environment leaked entry action problems=()
    if ! { mount -t proc proc "$root/proc" && mount --bind /dev "$root/dev" &&
           mount -t tmpfs shm "$root/dev/shm"; }; then
        echo "$release: cannot mount /proc and /dev"
        return 1
    fi
    home=$(chroot "$root" mktemp -d /tmp/home.XXXXXX) && chroot "$root" chown "$user:" "$home"
    mkdir -p "$root$home/Downloads" && install -m 644 "$run" "$root$home/Downloads/"
    for _ in $(seq 1 10); do
        display=$((900 + RANDOM % 90))
        # The chroots share the host's abstract sockets, where X servers listen too.
        [ -e "/tmp/.X11-unix/X$display" ] && continue
        grep -q "@/tmp/.X11-unix/X$display\$" /proc/net/unix && continue
        chroot --userspec="$user:$user" "$root" env -i PATH=/usr/bin:/bin HOME="$home" \
            LANG=C.UTF-8 sh -c "cd ~/Downloads && exec timeout 120 xvfb-run -n $display \
                -e $home/xvfb.log -s '-screen 0 800x600x24 -nolisten tcp' sh ./${run##*/}" \
            > "$log" 2>&1
        status=$?
        # Xvfb's own errors, where xvfb-run keeps them.
        cat "$root$home/xvfb.log" >> "$log" 2>/dev/null
        grep -q "Xvfb failed to start\|Server is already active" "$log" || break
    done
    pid=$(cat "$root$home/product.pid" 2>/dev/null)
    [ "$status" -eq 0 ] || problems+=("exit status $status")
    grep -qi "error while loading\|GLIBC_[0-9.]* not found\|could not load the Qt platform plugin" "$log" &&
        problems+=("a loader error")
    [ -x "$root$home/.local/opt/$id/bin/product" ] && [ -f "$root$home/.local/share/applications/$id.desktop" ] ||
        problems+=("the product is not installed")
    if [ -n "$pid" ] && [ -r "/proc/$pid/environ" ]; then
        environment=$(tr '\0' '\n' < "/proc/$pid/environ")
        leaked=$(printf '%s\n' "$environment" | grep -E \
            '^(LD_LIBRARY_PATH|LD_PRELOAD|GIO_LAUNCH_DESKTOP|GIO_MODULE_DIR|FONTCONFIG_FILE|QT_[A-Z_]*|ZAV_[A-Z_]*)=' | tr '\n' ' ')
        [ -z "$leaked" ] || problems+=("the product inherited: $leaked")
        grep -q "^GIO_LAUNCHED_DESKTOP_FILE=.*/$id.desktop$" <<< "$environment" ||
            problems+=("the product does not name its desktop entry")
        kill "$pid"
    else
        problems+=("the product did not start")
    fi
    [ -z "$(find "$root/tmp" "$root$home" -maxdepth 2 -name "$name.*" -type d)" ] ||
        problems+=("the unpacked folder was left behind")
    # The entry's Uninstall action, as a menu starts it once the .run and its folder are gone:
    # the static remover, with nothing of the environment but HOME (its path needs no quoting).
    entry=$root$home/.local/share/applications/$id.desktop
    action=$(sed -n '/^\[Desktop Action zav-uninstall\]/,/^\[/s/^Exec=//p' "$entry" 2> /dev/null)
    if [ -z "$action" ]; then
        problems+=("the desktop entry has no Uninstall action")
    elif ! chroot --userspec="$user:$user" "$root" env -i HOME="$home" sh -c "exec $action" >> "$log" 2>&1; then
        problems+=("the Uninstall action failed")
    elif [ -e "$root$home/.local/opt/$id" ] || [ -e "$entry" ] || [ -e "$root$home/.local/share/zav" ] ||
        [ ! -d "$root$home/.local/share/Trash/files/$id" ]; then
        problems+=("the Uninstall action did not move the product to the trash and remove the rest")
    fi
    chroot "$root" rm -rf "$home"
    umount "$root/dev/shm" "$root/dev" "$root/proc"
    if [ ${#problems[@]} -eq 0 ]; then
        echo "PASS $release ($(chroot "$root" ldd --version | head -1); uninstalled by its menu action)"
        return 0
    fi
    echo "FAIL $release: ${problems[*]}"
    sed 's/^/    /' "$log"
    return 1
}

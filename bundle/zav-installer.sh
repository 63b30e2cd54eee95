#!/bin/sh
# Starts zav-installer on this folder's own libraries, C library and loader, whatever the
# system has (the layout is described in scripts/lib/bundle.sh). The loader is given the
# library path on its command line, never through LD_LIBRARY_PATH, so nothing the installer
# starts inherits it.
here=$(cd -P -- "$(dirname -- "$0")" && pwd) || exit 127

# Variables changed for the installer only. Their names go to ZAV_BUNDLE_VARS and the user's
# values to ZAV_SAVED_<name>; bin/zav-launch-desktop, which starts the product, puts them back.
ZAV_BUNDLE_VARS=
zav_change() { # NAME [VALUE]: set NAME to VALUE, or unset it
    if eval "[ -n \"\${$1+set}\" ]"; then
        eval "ZAV_SAVED_$1=\$$1"
        export "ZAV_SAVED_$1"
    fi
    ZAV_BUNDLE_VARS="$ZAV_BUNDLE_VARS $1"
    if [ $# -gt 1 ]; then
        eval "$1=\$2"
        # shellcheck disable=SC2163 # the variable $1 names
        export "$1"
    else
        unset "$1"
    fi
}
# GIO's own helper is built for the system's C library, or missing; ours is static.
zav_change GIO_LAUNCH_DESKTOP "$here/bin/zav-launch-desktop"
# The system's GIO modules are built for the system's GLib, not ours: load none.
zav_change GIO_MODULE_DIR "$here/lib/gio-modules"
# The system's Qt plugins are built for another Qt.
zav_change QT_PLUGIN_PATH
zav_change QT_QPA_PLATFORM_PLUGIN_PATH
# Of the platforms the user names, the ones this folder carries; with none, the installer
# itself tries Wayland, then X11 (and says so in one line when neither answers).
zav_platforms=
zav_rest=${QT_QPA_PLATFORM-}
while [ -n "$zav_rest" ]; do
    zav_one=${zav_rest%%;*}
    case $zav_rest in *\;*) zav_rest=${zav_rest#*;} ;; *) zav_rest= ;; esac
    case ${zav_one%%:*} in
    wayland | xcb | offscreen) zav_platforms=${zav_platforms:+$zav_platforms;}$zav_one ;;
    esac
done
if [ "$zav_platforms" != "${QT_QPA_PLATFORM-}" ]; then
    if [ -n "$zav_platforms" ]; then zav_change QT_QPA_PLATFORM "$zav_platforms"; else zav_change QT_QPA_PLATFORM; fi
fi
# Text needs fonts: where fontconfig has no configuration at all, use the one font shipped.
if [ -z "${FONTCONFIG_FILE-}${FONTCONFIG_PATH-}" ] && [ ! -e /etc/fonts/fonts.conf ]; then
    zav_change FONTCONFIG_FILE "$here/fonts/fonts.conf"
fi
export ZAV_BUNDLE_VARS

exec "$here/bin/ld-linux-x86-64.so.2" --library-path "$here/lib" --argv0 "$0" \
    "$here/libexec/zav-installer" "$@"

#!/bin/sh
# Starts zav-vendor on the kit's own libraries, C library and loader, whatever the system has
# (the kit's layout is described in scripts/lib/bundle.sh). The loader is given the library path
# on its command line, never through LD_LIBRARY_PATH; the system's Qt plugins, built for another
# Qt, are not loaded.
here=$(cd -P -- "$(dirname -- "$0")" && pwd) || exit 127
unset QT_PLUGIN_PATH
exec "$here/bin/ld-linux-x86-64.so.2" --library-path "$here/lib" --argv0 "$0" \
    "$here/libexec/zav-vendor" "$@"

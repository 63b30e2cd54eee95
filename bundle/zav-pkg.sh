#!/bin/sh
# Starts zav-pkg on the bundle's own libraries and loader. It stands where the installer looks
# for its package installer: beside the loader, which is the installer's executable.
here=$(cd -P -- "$(dirname -- "$0")/.." && pwd) || exit 127
exec "$here/bin/ld-linux-x86-64.so.2" --library-path "$here/lib" --argv0 "$0" \
    "$here/libexec/zav-pkg" "$@"

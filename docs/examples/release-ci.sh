#!/usr/bin/env bash
# A release from a CI job, to paste and adapt: packs the application, writes and signs its feed,
# checks everything before anything is uploaded, uploads in the order users are safe with
# (package, feed, signature) and checks what is then served, as the installer will see it.
#
# Usage: release-ci.sh APPDIR
# Set in the job:
#   ZAV_SIGNING_KEY   the text of the secret key file (zav.key), from the CI's secret store
#   ZAV_KEY_PASSWORD  its password, also a secret; leave it unset for a key made with -W
#   ZAV_PUBLIC_KEY    the public key file (zav.pub, kept with the sources): the release is
#                     checked against it, so a wrong secret key stops the job
#   BASE_URL          where the files are served, e.g. https://downloads.example.com/myproduct
#   UPLOAD_DIR        here "uploading" is a copy into the folder a web server serves at
#                     BASE_URL; change upload() below for your host (rsync, a bucket's CLI, ...)
#   ZAV_VENDOR        the tool, if it is not zav-vendor on the PATH
set -euo pipefail

app_dir=${1:?usage: release-ci.sh APPDIR}
: "${ZAV_SIGNING_KEY:?ZAV_SIGNING_KEY must hold the secret key file}"
: "${ZAV_PUBLIC_KEY:?ZAV_PUBLIC_KEY must name the public key file}"
: "${BASE_URL:?BASE_URL is needed}"
: "${UPLOAD_DIR:?UPLOAD_DIR is needed}"
zav_vendor=${ZAV_VENDOR:-zav-vendor}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The key is written where only this job's user can read it, and goes with the work folder.
(umask 077 && printf '%s\n' "$ZAV_SIGNING_KEY" > "$work/zav.key")

# Put one file at $BASE_URL/<its name>. The copy gets its final name in one rename, so the
# server never hands out half a file.
upload() {
    local name
    name=$(basename "$1")
    cp "$1" "$UPLOAD_DIR/.$name.part"
    mv -f "$UPLOAD_DIR/.$name.part" "$UPLOAD_DIR/$name"
    echo "uploaded $name"
}

# 1. The release: nothing is written to $work/release unless every check passes. The password,
#    if any, comes on standard input (a here-string: a pipe into a tool that asks for none
#    could end the job with SIGPIPE).
"$zav_vendor" release "$app_dir" --base-url "$BASE_URL" -s "$work/zav.key" \
    -p "$ZAV_PUBLIC_KEY" -o "$work/release" <<< "${ZAV_KEY_PASSWORD:-}" | tee "$work/release.log"

# 2. The files, in the order release printed them ("  1. FILE" ... "  3. FILE").
mapfile -t files < <(sed -n 's/^  [123]\. //p' "$work/release.log")
[ "${#files[@]}" = 3 ] || { echo "release printed no upload order" >&2; exit 1; }
package=${files[0]} feed=${files[1]}

# 3. The feed against the package once more, as it will be served, before the upload.
"$zav_vendor" verify -p "$ZAV_PUBLIC_KEY" --pkg "$package" --feed-url "$BASE_URL/feed.json" \
    "$feed"

# 4. Upload, package first and signature last: a user who fetches in between gets the old feed,
#    or the new feed with the old signature, which is refused and retried; never a feed whose
#    package is missing.
for file in "${files[@]}"; do
    upload "$file"
done

# 5. What users now get, fetched as the installer fetches it.
"$zav_vendor" verify -p "$ZAV_PUBLIC_KEY" "$BASE_URL/feed.json"
echo "released: stamp or build the installer with $BASE_URL/feed.json"

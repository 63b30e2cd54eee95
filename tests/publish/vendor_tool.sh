#!/usr/bin/env bash
# zav-vendor as a vendor runs it: keys and signatures exchanged with Debian's minisign both ways, packs,
# feeds, and verify against a feed served by nginx. Usage: vendor_tool.sh ZAV_VENDOR WORKDIR
set -euo pipefail
vendor=$1 work=$2
command -v minisign > /dev/null || { echo "minisign is not installed: skipped"; exit 77; }
source "$ZAV_SOURCE_DIR/scripts/lib/nginx.sh"
rm -rf "$work" && mkdir -p "$work/www" "$work/app/bin" && cd "$work"
export HOME=$work TMPDIR=$work
trap 'zav_nginx_stop "$work/nginx"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
refused() { # expected-output-pattern command...: exit status 1 and the pattern on stderr
    local pattern=$1 status=0; shift
    "$@" > out.log 2> err.log || status=$?
    [ $status = 1 ] && grep -q -- "$pattern" err.log ||
        fail "$* ended $status, expected 1 and \"$pattern\": $(cat err.log)"
}

zav_nginx_start_free "$work/nginx" "$work/www"
base=http://127.0.0.1:$ZAV_NGINX_PORT
printf '#!/bin/sh\necho demo\n' > app/bin/demo && chmod 755 app/bin/demo
printf '[Desktop Entry]\nType=Application\nName=Demo\nExec=bin/demo\n' > app/org.example.Demo.desktop
ln -s bin/demo app/demo

# Packs: reproducible whatever the files' times, refusals leave nothing behind.
"$vendor" pack app -o www/demo.tar.gz > pack.log
touch -d @1000000000 app/bin/demo && sleep 1
"$vendor" pack app -o again.tar.gz > /dev/null
cmp -s www/demo.tar.gz again.tar.gz || fail "two packs of one directory differ"
SOURCE_DATE_EPOCH=1700000000 "$vendor" pack app -o dated.tar.zst > /dev/null
[ "$(zstd -dc dated.tar.zst | tar -tv --full-time | awk '{print $2, $4 "T" $5}' | sort -u)" = \
  "0/0 2023-11-14T22:13:20" ] || fail "owner or time of the zstd package is not 0/0 and SOURCE_DATE_EPOCH"
# (grep without -q reads the whole listing: tar is not ended by SIGPIPE under pipefail)
tar -tvf www/demo.tar.gz | grep ' demo -> bin/demo$' > /dev/null || fail "a link was not packed as a link"
grep -qx "size $(stat -c %s www/demo.tar.gz)" pack.log &&
    grep -qx "sha256 $(sha256sum < www/demo.tar.gz | cut -d' ' -f1)" pack.log ||
    fail "pack printed a wrong size or SHA-256: $(cat pack.log)"
feed() { # output [options]: the feed for www/demo.tar.gz, $pkg_url and $bundle overriding
    local output=$1; shift
    "$vendor" feed --pkg www/demo.tar.gz --pkg-url "${pkg_url:-$base/demo.tar.gz}" \
        --feed-url "$base/feed.json" --product Demo --bundle-id "${bundle:-org.example.Demo}" \
        --version 1.0 -o "$output" "$@" > /dev/null
}

# Refusals. Row: a change to the application directory (undone afterwards) # the command #
# what its message says. Nothing may be left behind.
while IFS='#' read -r change command expected; do
    cp -a app app.saved
    eval "$change"
    refused "$expected" eval "$command"
    rm -rf app && mv app.saved app
done <<'ROWS'
ln -s /etc/passwd app/passwd#"$vendor" pack app -o refused.tar.gz#leaves the application directory
mkfifo app/fifo#"$vendor" pack app -o refused.tar.zst#is a FIFO
rm app/org.example.Demo.desktop#"$vendor" pack app -o refused.tar.gz#no desktop entry
chmod 644 app/bin/demo#"$vendor" pack app -o refused.tar.gz#not executable
touch app/$'\xff'#"$vendor" pack app -o refused.tar.gz#to UTF-8
:#"$vendor" pack app -o refused.tar#FILE.tar.gz
:#bundle=org.example.Other feed refused.json#not the bundle id
:#pkg_url=ftp://example.com/demo.tar.gz feed refused.json#not an absolute http(s) URL
:#feed refused.json --serial 0#serial must be between
:#feed refused.json --serial 9007199254740992#serial must be between
:#feed refused.json --serial $(($(date +%s) + 367 * 86400))#more than a year ahead
:#feed refused.json --expires 0d#takes a duration
:#feed refused.json --expires 3w#takes a duration
ROWS
# The names in this folder that match a pattern (find, not ls: names are not parsed).
names() { find . -mindepth 1 -maxdepth 1 -regex "./.*\($1\).*" -printf '%f\n'; }
[ -z "$(names 'refused\|zav-tmp\|zav-vendor-check')" ] || fail "a refusal left files: $(ls -A)"

# The serial and expiry a feed states: given, and by default the time now and 90 days on.
feed given.json --serial 42 --expires 36h && feed default.json
feed ahead.json --serial 9007199254740991 --allow-serial-ahead
now=$(date +%s)
for row in "given.json 42 $((now + 36 * 3600))" "default.json $now $((now + 90 * 86400))"; do
    read -r -a fields <<< "$row"
    set -- "${fields[@]}"
    serial=$(sed -n 's/.*"feedSerial": \([0-9]*\).*/\1/p' "$1")
    expires=$(date -d "$(sed -n 's/.*"expiresAt": "\(.*\)".*/\1/p' "$1")" +%s)
    [ $((serial - $2)) -le 0 ] && [ $((serial - $2)) -ge -5 ] && [ $((expires - $3)) -le 0 ] &&
        [ $((expires - $3)) -ge -5 ] || fail "$1: serial $serial, expires $expires; expected $2, $3"
done

# Key pairs and signatures both ways. Row: who makes the key, its password (- for none), who
# signs; minisign -V (prehashed only) and zav-vendor verify check every signature. The password
# comes as a here-string: a pipe into a tool that reads none (-W) can end the script on SIGPIPE.
while read -r maker password signer; do
    rm -f key.pub key.key
    pass=(-W) && [ "$password" != - ] && pass=()
    case $maker in
        minisign) minisign -G "${pass[@]}" -p key.pub -s key.key <<< "$password"$'\n'"$password" > /dev/null ;;
        zav-vendor) "$vendor" keygen "${pass[@]}" -p key.pub -s key.key <<< "$password" > keygen.log 2>&1
                    grep -qx -- "-DZAV_TRUSTED_KEYS=$(tail -1 key.pub)" keygen.log || fail "keygen line" ;;
    esac
    feed www/feed.json
    case $signer in
        minisign) minisign -S "${pass[@]}" -s key.key -m www/feed.json <<< "$password" > /dev/null ;;
        zav-vendor) "$vendor" sign -s key.key www/feed.json <<< "$password" 2> /dev/null ;;
    esac
    minisign -V -H -q -p key.pub -m www/feed.json || fail "minisign refused: $maker key, $signer signature"
    "$vendor" verify -p key.pub "$base/feed.json" > verify.log 2>&1 &&
        "$vendor" verify -p key.pub www/feed.json >> verify.log 2>&1 ||
        fail "zav-vendor verify refused: $maker key, $signer signature: $(cat verify.log)"
    [ "$password" != - ] && cp key.key protected.key
done <<'ROWS'
minisign   -       zav-vendor
minisign   secret  zav-vendor
zav-vendor secret  minisign
zav-vendor -       minisign
ROWS
echo data > data.txt
refused 'wrong password' sh -c "echo wrong | '$vendor' sign -s protected.key data.txt"
[ -e data.txt.minisig ] && fail "a signature was written with a wrong password"
refused 'not a minisign secret key' "$vendor" sign -s key.pub www/feed.json
awk 'NR == 2 { c = substr($0, 120, 1) == "A" ? "B" : "A"; $0 = substr($0, 1, 119) c substr($0, 121) } 1' \
    key.key > damaged.key
refused 'damaged' "$vendor" sign -s damaged.key www/feed.json
cp key.key kept.key
refused 'never replaces a key' "$vendor" keygen -W -p other.pub -s key.key
cmp -s key.key kept.key || fail "keygen replaced an existing secret key"

# What verify must refuse, each on the last good feed (a zav-vendor key signed by minisign).
"$vendor" keygen -W -p other.pub -s other.key > /dev/null 2>&1
cp www/feed.json good.json && cp www/feed.json.minisig good.minisig && cp www/demo.tar.gz good.tar.gz
while IFS='#' read -r change expected; do
    cp good.json www/feed.json && cp good.minisig www/feed.json.minisig && cp good.tar.gz www/demo.tar.gz
    extra=()
    eval "$change"
    refused "$expected" "$vendor" verify -p key.pub "${extra[@]}" "$base/feed.json"
    grep -q "^FAILED" err.log || fail "verify did not name the failed check ($change)"
done <<'ROWS'
sed -i 's/Demo/Dema/' www/feed.json#signature
head -c 100 good.minisig > www/feed.json.minisig#signature
rm www/feed.json.minisig#404
"$vendor" sign -s other.key www/feed.json 2> /dev/null#not a trusted key
cp app/bin/demo x.json; "$vendor" sign -s key.key x.json 2> /dev/null; cp x.json.minisig www/feed.json.minisig#signature
sed -i "s,$base/feed.json,$base/other.json," www/feed.json; "$vendor" sign -s key.key www/feed.json 2> /dev/null#different product
sed -i '/pkgSha256/d' www/feed.json; "$vendor" sign -s key.key www/feed.json 2> /dev/null#pkgSha256" is missing
sed -i '/bundleId/d' www/feed.json; "$vendor" sign -s key.key www/feed.json 2> /dev/null#bundleId" is missing
sed -i "s,\"pkgUrl\": \"[^\"]*\",\"pkgUrl\": \"file://$work/good.tar.gz\"," www/feed.json; "$vendor" sign -s key.key www/feed.json 2> /dev/null#not a complete URL
{ printf '{"pad": "%2097152s",' ''; tail -c +2 good.json; } > www/feed.json; "$vendor" sign -s key.key www/feed.json 2> /dev/null#more data than expected
extra=(--min-serial 9007199254740991)#older product information
sed -i 's/"expiresAt": "[^"]*"/"expiresAt": "2020-01-01T00:00:00Z"/' www/feed.json; "$vendor" sign -s key.key www/feed.json 2> /dev/null#expired
printf '\x01' | dd of=www/demo.tar.gz bs=1 seek=20 conv=notrunc 2> /dev/null#SHA-256 is
truncate -s -1 www/demo.tar.gz#bytes instead of
printf x >> www/demo.tar.gz#announces
ROWS
# Interrupted: keygen at its password prompt gives the terminal its echo back (under script(1),
# for a terminal); pack leaves neither its partial package nor its throw-away home. Row: the
# signal, and what must exist before it is sent.
cp -a app big && head -c 64000000 /dev/urandom > big/bin/data
command -v script > /dev/null || echo "script(1) is not installed: the keygen rows are left out"
while read -r signal present; do
    if command -v script > /dev/null; then
        script -qec "timeout --foreground -s $signal 1 '$vendor' keygen -p sig.pub -s sig.key; stty -a" \
            /dev/null < /dev/null | tr ' ' '\n' | grep -x echo > /dev/null ||
            fail "keygen ended by SIG$signal at its prompt left the terminal without echo"
    fi
    env --default-signal=INT "$vendor" pack big -o big.tar.gz > /dev/null 2>&1 &
    for _ in $(seq 200); do compgen -G "$present" > /dev/null && break; sleep 0.05; done
    kill -"$signal" $! && status=0 && wait $! || status=$?
    left=$(names 'big\.tar\|zav-vendor-check')
    [ "$status" -gt 128 ] && [ -z "$left" ] ||
        fail "pack ended by SIG$signal (status $status) left: $left"
done <<'ROWS'
INT .big.tar.gz.zav-tmp-*
TERM .big.tar.gz.zav-tmp-*
HUP zav-vendor-check-*
ROWS
rm -rf big
# release on an application directory no other row uses; verify --pkg passes on what it wrote,
# and the package is named after its id, version and content. Row: options # what feed.json and
# the package's name must then say (the defaults come from the desktop entry).
mkdir -p held/bin && cp app/bin/demo held/bin/demo
printf '[Desktop Entry]\nType=Application\nName=Held Out\nExec=bin/demo\nX-Package-Version=2.1\n' \
    > held/org.example.HeldOut.desktop
while IFS='#' read -r options expected; do
    rm -rf rel && eval "\"\$vendor\" release held --base-url $base/rel/ -s key.key -o rel $options" > release.log 2>&1 ||
        fail "release $options: $(cat release.log)"
    pkg=$(find rel -name '*.tar.zst') sum=$(sha256sum < "$pkg" | cut -c1-16)
    [[ $pkg = rel/org.example.HeldOut-*-$sum.tar.zst ]] || fail "package name $pkg lacks its digest $sum"
    "$vendor" verify -p key.pub --pkg "$pkg" --feed-url "$base/rel/feed.json" rel/feed.json > verify.log 2>&1 ||
        fail "verify --pkg refused the release ($options): $(cat verify.log)"
    IFS=';' read -r -a wants <<< "$expected"
    for want in "${wants[@]}" "\"pkgUrl\": \"$base/rel/${pkg#rel/}\"" "$base/rel/feed.json\$"; do
        grep -q -- "$want" rel/feed.json release.log || fail "release $options: no $want in $(cat rel/feed.json)"
    done
done <<'ROWS'
#"product": "Held Out";"version": "2.1";HeldOut-2.1-;"feedSerial": 1[0-9]\{9\}
--product Other --version '3.0 rc' --serial 42 --auto-launch#"product": "Other";"version": "3.0 rc";HeldOut-3.0_rc-;"feedSerial": 42,;"autoLaunch": true
ROWS
# release --previous: the delta from the last release's package goes beside the new one,
# content-named, and into the feed with the tree digest; verify --pkg still passes.
rm -rf rel1 rel && "$vendor" release held --base-url "$base/rel" -s key.key -o rel1 > release.log 2>&1 ||
    fail "release: $(cat release.log)"
previous=$(find rel1 -name '*.tar.zst')
printf '\n# 2.2\n' >> held/bin/demo
sed -i 's/X-Package-Version=2.1/X-Package-Version=2.2/' held/org.example.HeldOut.desktop
"$vendor" release held --base-url "$base/rel" -s key.key -o rel --previous "$previous" > release.log 2>&1 ||
    fail "release --previous: $(cat release.log)"
delta=$(find rel -name '*.delta.tar.zst') sum=$(sha256sum < "$delta" | cut -c1-16)
[[ $delta = rel/org.example.HeldOut-2.2-$sum.delta.tar.zst ]] || fail "delta name $delta lacks its digest $sum"
for want in '"pkgTreeSha256": "[0-9a-f]\{64\}"' "\"fromSha256\": \"$(sha256sum < "$previous" | cut -d' ' -f1)\"" \
    "\"url\": \"$base/rel/${delta#rel/}\"" "\"size\": $(stat -c %s "$delta")"; do
    grep -q -- "$want" rel/feed.json || fail "release --previous: no $want in $(cat rel/feed.json)"
done
grep -q "^  2\. $delta\$" release.log || fail "release --previous: the delta is not second to upload: $(cat release.log)"
"$vendor" verify -p key.pub --pkg "$(find rel -name '*.tar.zst' ! -name '*.delta.*')" \
    --feed-url "$base/rel/feed.json" rel/feed.json > verify.log 2>&1 ||
    fail "verify --pkg refused the release with a delta: $(cat verify.log)"
grep -q "tree digest as the feed says" verify.log || fail "verify --pkg did not check the tree: $(cat verify.log)"
grep -q "delta $delta: [0-9]* bytes, SHA-256 as the feed says" verify.log ||
    fail "verify --pkg did not check the delta: $(cat verify.log)"
# Served, verify downloads the delta too, and refuses it damaged.
mkdir -p www/rel && cp rel/* www/rel/
"$vendor" verify -p key.pub "$base/rel/feed.json" > verify.log 2>&1 &&
    grep -q "delta $base/$delta: [0-9]* bytes, SHA-256 as the feed says" verify.log ||
    fail "verify did not check the served delta: $(cat verify.log)"
printf x >> "www/$delta"
refused "delta $base/$delta" "$vendor" verify -p key.pub "$base/rel/feed.json"
rm -rf www/rel
sed -i 's/X-Package-Version=2.2/X-Package-Version=2.1/' held/org.example.HeldOut.desktop
cp app/bin/demo held/bin/demo
rm -rf rel1
# A release that fails leaves its folder as it was (missing, empty or full) and no work folder.
# Row: how the folder is before # options # what the message says.
while IFS='#' read -r before options expected; do
    rm -rf rel && eval "$before"
    state=$(ls -A rel 2> /dev/null || echo missing)
    refused "$expected" eval "\"\$vendor\" release held --base-url $base/rel -s key.key -o rel $options"
    [ "$(ls -A rel 2> /dev/null || echo missing)" = "$state" ] && [ -z "$(names 'zav-release')" ] ||
        fail "a failed release ($options) changed rel or left $(names 'zav-release')"
done <<'ROWS'
mkdir rel#-p other.pub#could not be verified
:#--min-serial 9007199254740991#older product information
mkdir rel && touch rel/kept##not empty
:#--bundle-id org.example.Other#not the bundle id
sed -i /X-Package-Version/d held/*.desktop##no X-Package-Version
ROWS
# The CI example as a vendor pastes it: what it uploads to nginx verifies as served.
mkdir -p www/ci && sed -i 's/^Name=.*/&\nX-Package-Version=2.1/' held/*.desktop
ZAV_VENDOR=$vendor ZAV_SIGNING_KEY=$(cat key.key) ZAV_PUBLIC_KEY=key.pub BASE_URL=$base/ci \
    UPLOAD_DIR=www/ci bash "$ZAV_SOURCE_DIR/docs/examples/release-ci.sh" held > ci.log 2>&1 ||
    fail "release-ci.sh failed: $(cat ci.log)"
"$vendor" verify -p key.pub "$base/ci/feed.json" > verify.log 2>&1 || fail "served release: $(cat verify.log)"
echo "zav-vendor: all rows passed"

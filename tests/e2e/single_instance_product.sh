#!/usr/bin/env bash
# A product that allows one copy per user, as many desktop programs do. It takes a lock in its
# own state folder when it starts; a second copy started while the lock is held hands over to
# the first (writes <pid>.handover) and exits. On SIGTERM it saves for 3 s, then exits. Records
# its life in $ZAV_FIXTURE_RECORD_DIR: <pid>.started and <pid>.saved, each holding the version.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(cat "$here/VERSION")
records=${ZAV_FIXTURE_RECORD_DIR:-/dev/null}
state=${XDG_STATE_HOME:-$HOME/.local/state}/$(basename "$here")
mkdir -p "$state"
exec 9> "$state/lock"
if ! flock -n 9; then
    echo "$version" > "$records/$$.handover"
    exit 0
fi
saving=0
trap 'saving=1' TERM
echo "$version" > "$records/$$.started"
# The lock stays with this process alone: no child keeps descriptor 9.
while [ "$saving" = 0 ]; do
    sleep 0.1 9>&- &
    wait $! 2>/dev/null
done
sleep 3 9>&-
echo "$version" > "$records/$$.saved"
exit 0

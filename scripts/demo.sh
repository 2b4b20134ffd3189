#!/usr/bin/env bash
# The main job, as a newcomer first meets it: sets up the machine, builds only what the demo needs (the
# installer, the demo product in two versions, the harness's tool inside Wine), then tools/demo.py
# publishes the demo product on a loopback version server, installs it with the wizard, publishes the
# next version and updates to it, and prints a short report with the times. The ports come from
# scripts/test-ports.sh (SF_HTTP_PORT and friends may be set beforehand).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/test-ports.sh"

now() { date +%s.%N; }
seconds() { awk -v from="$1" -v to="$2" 'BEGIN { printf "%.1f", to - from }'; }
started=$(now)
"$here/scripts/setup.sh"
set_up=$(now)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "demo: building the installer and the demo product"
if ! "$here/scripts/build.sh" win Stormfinch sftool demo_site demo_stormfinch_next >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
built=$(now)
echo "demo: installing and updating the demo product under Wine"
exec /usr/bin/python3 "$here/tools/demo.py" --setup-seconds "$(seconds "$started" "$set_up")" \
  --build-seconds "$(seconds "$set_up" "$built")"

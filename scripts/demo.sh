#!/usr/bin/env bash
# The main job: sets up the machine, builds, publishes the demo product, serves it on loopback and runs
# the real installer against it under Wine (an unattended install, then an update).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh"
exec /usr/bin/python3 "$here/tools/demo.py"

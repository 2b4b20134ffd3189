#!/usr/bin/env bash
# Every test: sets up the machine, builds both trees, then runs the native unit tests (sanitizers,
# short fuzz runs), the Windows unit tests under Wine (the wizard's looks also at 144 DPI), the
# end-to-end suite against the real executable under Wine and Xvfb, and the release script. Exits
# non-zero when anything fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

./scripts/setup.sh
./scripts/build.sh

status=0
(cd build/native && ctest --output-on-failure) || status=1
(cd build/win && ctest --output-on-failure) || status=1
for prefix in build/win/wineprefix build/win/wineprefix-144dpi; do ./scripts/wine-prefix.sh stop "$prefix"; done
/usr/bin/python3 -m pytest tests/e2e -q -p no:cacheprovider "$@" || status=1
# Two release builds of this commit, signed with a test certificate (a few minutes).
/usr/bin/python3 -m pytest tests/release -q -p no:cacheprovider || status=1
exit $status

#!/usr/bin/env bash
# Every test: sets up the machine, builds both trees, then runs the native unit tests (sanitizers,
# short fuzz runs), the Windows unit tests under Wine, and the end-to-end suite against the real
# executable under Wine and Xvfb. Exits non-zero when anything fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

./scripts/setup.sh
./scripts/build.sh

status=0
(cd build/native && ctest --output-on-failure) || status=1
(cd build/win && ctest --output-on-failure) || status=1
./scripts/wine-prefix.sh stop build/win/wineprefix
/usr/bin/python3 -m pytest tests/e2e -q -p no:cacheprovider "$@" || status=1
exit $status

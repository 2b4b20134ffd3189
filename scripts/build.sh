#!/usr/bin/env bash
# Usage: build.sh                  configures and builds both trees
#        build.sh win TARGET...    configures the Windows tree and builds only those targets (and what
#                                  they need), e.g. for the demo: Stormfinch sftool demo_site
#   build/win     the Windows program, its unit tests, the demo product and the test tools (MinGW-w64)
#   build/native  the portable core with sanitizers, its unit tests and the fuzz targets (clang)
# The Windows tree is configured with loopback server addresses; the tests and the demo serve them, and
# with the test-only pause points (SF_TEST_HOOKS) that let the end-to-end tests kill a run at a chosen
# moment; neither belongs in a build for users. It also builds build/win/signed/Stormfinch.exe, the same
# program trusting two test keys made here (build/win/test-keys, never a release key), for the
# end-to-end tests of signed versions.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/test-ports.sh"
jobs=${SF_JOBS:-$(nproc)}

test_keys=$here/build/win/test-keys
mkdir -p "$test_keys"
for n in 1 2; do
  if [ ! -s "$test_keys/release-$n.pub" ]; then
    rm -f "$test_keys/release-$n.pem"
    /usr/bin/python3 "$here/tools/publish.py" keygen "$test_keys/release-$n.pem" >"$test_keys/release-$n.pub"
  fi
done

cmake -S "$here" -B "$here/build/win" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSF_TEST_HOOKS=ON \
  -DSF_VERSION_SERVER_URL="http://127.0.0.1:$SF_HTTP_PORT" \
  -DSF_INSTALLER_INFO_BASE_URL="http://127.0.0.1:$SF_HTTP_PORT/produtos/bin/newquillon/" \
  -DSF_INSTALLER_DOWNLOAD_BASE_URL="http://127.0.0.1:$SF_HTTP_PORT/produtos/bin/davorizorida/" \
  -DSF_ERROR_REPORT_URL="https://127.0.0.1:$SF_HTTPS_PORT/software/error" \
  -DSF_CONTRACT_URL="http://127.0.0.1:$SF_HTTP_PORT/contrato-quillon" \
  -DSF_TEST_MANIFEST_KEYS="$(cat "$test_keys/release-1.pub");$(cat "$test_keys/release-2.pub")" >/dev/null

if [ "${1:-}" = win ]; then
  shift
  cmake --build "$here/build/win" -j "$jobs" --target "$@"
  exit 0
fi
cmake --build "$here/build/win" -j "$jobs"

CC=clang-16 CXX=clang++-16 cmake -S "$here" -B "$here/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$here/build/native" -j "$jobs"

#!/usr/bin/env bash
# Installs everything the build, the demo and the tests need on a fresh Debian 12 machine (as root),
# builds PCRE2 (16-bit, static) for MinGW from Debian's source package, and takes the LZMA decoder from
# Debian's 7zip source package. Safe to run again: every step is skipped when its result is already
# there, so a second run takes seconds.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps=${SF_DEPS_DIR:-$here/.deps}
pcre_prefix=$deps/pcre2-mingw
lzma_dir=$deps/lzma-decoder

packages=(
  cmake ninja-build make pkg-config dpkg-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  libz-mingw-w64-dev zlib1g-dev
  g++ clang-16 libclang-rt-16-dev
  googletest nlohmann-json3-dev
  wine wine64 xvfb xdotool imagemagick x11-utils
  fonts-wine fonts-open-sans
  nginx-light tinyproxy openssl curl p7zip-full python3-cryptography
  python3 python3-pytest
  osslsigncode
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# nginx and tinyproxy are started by the tests on loopback ports of their own; the packages' own
# services would only hold port 80/8888 and are not needed.
for svc in nginx tinyproxy; do
  if command -v systemctl >/dev/null && systemctl is-active --quiet "$svc" 2>/dev/null; then
    systemctl stop "$svc" || true
  fi
  if [ -x "/etc/init.d/$svc" ]; then "/etc/init.d/$svc" stop >/dev/null 2>&1 || true; fi
done

# A deb-src entry for the release's own archive, made from the machine's existing apt configuration (the
# same address, suite, components and key as its deb entry), so that no archive is named here.
add_source_entry() {
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { echo "setup: /etc/os-release names no release" >&2; exit 1; }
  local stanza=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 files: the first paragraph whose types include "deb" and whose suites include the release.
    stanza=$(awk -v codename="$codename" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " codename " "))
          { printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", uris, codename, comps;
            if (signed != "") printf "Signed-By: %s\n", signed; found = 1; exit }
        types = uris = suites = comps = signed = ""
      }
      /^[[:space:]]*#/ { next }
      /^[[:space:]]*$/ { flush(); next }
      { key = tolower($1); sub(/^[^:]*:[[:space:]]*/, ""); }
      key == "types:" { types = $0 } key == "uris:" { uris = $0 } key == "suites:" { suites = $0 }
      key == "components:" { comps = $0 } key == "signed-by:" { signed = $0 }
      END { if (!found) flush() }' "$f")
    [ -n "$stanza" ] && break
  done
  if [ -n "$stanza" ]; then
    printf '%s\n' "$stanza" > /etc/apt/sources.list.d/stormfinch-src.sources
    return
  fi
  # One-line entries: "deb [options] URI SUITE COMPONENTS...".
  local line
  line=$(grep -hsE "^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+$codename[[:space:]]" \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list | head -n 1)
  [ -n "$line" ] || { echo "setup: no apt entry for $codename to take a deb-src entry from" >&2; exit 1; }
  echo "deb-src${line#deb}" > /etc/apt/sources.list.d/stormfinch-src.list
}

# Unpacks Debian's source package $1 into $2/src (an empty folder first).
unpack_source_package() {
  if ! grep -rqsE '^Types:.*deb-src|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    add_source_entry
    apt-get update -qq
  fi
  rm -rf "$2" && mkdir -p "$2"
  (cd "$2" && apt-get source -qq --download-only "$1" >/dev/null 2>&1 && dpkg-source -x --no-check ./*.dsc src >/dev/null)
}

if [ ! -f "$pcre_prefix/lib/libpcre2-16.a" ]; then
  echo "setup: building PCRE2 (16-bit) for MinGW"
  work=$deps/pcre2-src
  unpack_source_package pcre2 "$work"
  cmake -S "$work/src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$pcre_prefix" \
    -DBUILD_SHARED_LIBS=OFF -DPCRE2_BUILD_PCRE2_8=OFF -DPCRE2_BUILD_PCRE2_16=ON \
    -DPCRE2_SUPPORT_UNICODE=ON -DPCRE2_SUPPORT_JIT=ON -DPCRE2_BUILD_TESTS=OFF \
    -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_SUPPORT_LIBBZ2=OFF -DPCRE2_SUPPORT_LIBZ=OFF \
    -DPCRE2_SUPPORT_LIBEDIT=OFF -DPCRE2_SUPPORT_LIBREADLINE=OFF >/dev/null
  cmake --build "$work/build" >/dev/null
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
fi

# The LZMA decoder: 7-Zip's own C decoder, the one the 7z program decodes with, is faster than the older
# LZMA SDK of the lzma-dev package. Only the decoder's files are kept (the build compiles them as a small
# library of their own), with the licence texts.
if [ ! -f "$lzma_dir/LzmaDec.c" ]; then
  echo "setup: taking the LZMA decoder from the 7zip source package"
  work=$deps/7zip-src
  unpack_source_package 7zip "$work"
  rm -rf "$lzma_dir" && mkdir -p "$lzma_dir"
  cp "$work/src/C/"{LzmaDec.c,LzmaDec.h,7zTypes.h,Compiler.h,Precomp.h} "$lzma_dir/"
  cp "$work/src/DOC/License.txt" "$lzma_dir/License.txt"
  cp "$work/src/debian/copyright" "$lzma_dir/debian-copyright"
  dpkg-parsechangelog -l "$work/src/debian/changelog" -S Version > "$lzma_dir/VERSION"
  rm -rf "$work"
fi
echo "setup: ready"

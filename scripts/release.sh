#!/usr/bin/env bash
# Usage: release.sh VERSION [--product-version V] [--manifest-keys KEYS [--sign-key FILE.pem]]
#                           [--cert FILE.pfx | --test-cert] [--out DIR] [--build-dir DIR]
#
# Builds the installer as users download it: a Release build whose file version is VERSION (a.b.c.d; the
# product version stays 1.0.0.0 unless given), compiled with the maker's production addresses and the
# public keys of the release keys it trusts (KEYS: "04...;04...", as tools/publish.py keygen prints them;
# without them the program accepts unsigned versions), stripped, and signed with Authenticode. Into OUT
# (default build/release/out) it writes
#   Stormfinch.exe            the program to publish (signed when a certificate is given)
#   Stormfinch.debug          its debug information; the program names it in a debug link, so that the
#                             addresses of an error report's stacks can be read later, e.g.
#                             x86_64-w64-mingw32-addr2line -f -C -e Stormfinch.exe 0x140000000+OFFSET
#   version.txt               the text the self-update check fetches: the first two numbers of VERSION
#   version.txt.sig           its signature with the release key of --sign-key (a program with keys
#                             needs it beside version.txt)
#   unsigned/Stormfinch.exe   the program before signing: two builds of one commit give the same bytes
#   SHA256SUMS
# and prints the program's size.
#
# Signing: --cert FILE.pfx signs with that PKCS#12 file (its password, if any, in the environment variable
# SF_SIGN_PASSWORD); --test-cert makes a throwaway certificate authority and code-signing certificate in
# OUT/test-cert (verify with: osslsigncode verify -CAfile OUT/test-cert/ca.pem OUT/Stormfinch.exe). With
# neither the program is left unsigned. Every input comes from the repository and the packages that
# scripts/setup.sh installs; nothing is fetched.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/test-ports.sh"

die() { echo "release: $*" >&2; exit 1; }

version=""
product_version=1.0.0.0
cert=""
test_cert=false
manifest_keys=""
sign_key=""
out=$here/build/release/out
tree=$here/build/release/tree
while (($#)); do
  case $1 in
    --product-version) product_version=${2:?}; shift 2 ;;
    --manifest-keys) manifest_keys=${2:?}; shift 2 ;;
    --sign-key) sign_key=${2:?}; shift 2 ;;
    --cert) cert=${2:?}; shift 2 ;;
    --test-cert) test_cert=true; shift ;;
    --out) out=${2:?}; shift 2 ;;
    --build-dir) tree=${2:?}; shift 2 ;;
    -*) die "unknown option $1" ;;
    *) [ -z "$version" ] || die "one VERSION only"; version=$1; shift ;;
  esac
done
[ -n "$version" ] || die "usage: release.sh VERSION [--product-version V] [--cert FILE.pfx | --test-cert] [--out DIR] [--build-dir DIR]"
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "VERSION '$version' is not of the form a.b.c.d"
[ -z "$cert" ] || ! $test_cert || die "--cert and --test-cert exclude each other"
[ -z "$cert" ] || [ -f "$cert" ] || die "certificate $cert not found"
cert=${cert:+$(cd "$(dirname "$cert")" && pwd)/$(basename "$cert")}
[ -z "$sign_key" ] || [ -f "$sign_key" ] || die "signing key $sign_key not found"
[ -z "$sign_key" ] || [ -n "$manifest_keys" ] || die "--sign-key signs for a program that trusts keys: give --manifest-keys"

triple=x86_64-w64-mingw32
started=$(date +%s)
# The time stamp that objcopy writes into the program: the commit's, so that a build of the same commit
# gives the same bytes.
SOURCE_DATE_EPOCH=$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 0)
export SOURCE_DATE_EPOCH

# A tree of its own, configured from scratch: whatever the test trees were configured with (loopback
# addresses, another build type) must not leak into what users download. The addresses are the
# defaults of CMakeLists.txt, the maker's production hosts.
rm -rf "$tree"
cmake -S "$here" -B "$tree" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DSF_FILE_VERSION="$version" -DSF_PRODUCT_VERSION="$product_version" \
  -DSF_MANIFEST_KEYS="$manifest_keys" -DSF_TEST_MANIFEST_KEYS="" >/dev/null
cmake --build "$tree" --target Stormfinch -j "${SF_JOBS:-$(nproc)}" >/dev/null

rm -rf "$out"
mkdir -p "$out/unsigned"
# The debug information goes into a file of its own; the program keeps a link to it (name and checksum).
"$triple-objcopy" --only-keep-debug "$tree/Stormfinch.exe" "$out/Stormfinch.debug"
(cd "$out" && "$triple-objcopy" --strip-all --add-gnu-debuglink=Stormfinch.debug "$tree/Stormfinch.exe" \
  unsigned/Stormfinch.exe)
printf '%s' "$(cut -d. -f1-2 <<<"$version")" > "$out/version.txt"
if [ -n "$sign_key" ]; then /usr/bin/python3 "$here/tools/publish.py" sign "$sign_key" "$out/version.txt"; fi

sign() {
  osslsigncode sign "$@" -n "Stormfinch" -h sha256 -in "$out/unsigned/Stormfinch.exe" -out "$out/Stormfinch.exe" \
    >/dev/null
}
if $test_cert; then
  # A certificate authority of its own and a code-signing certificate it issued, both for this run only.
  ca=$out/test-cert
  mkdir -p "$ca"
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Stormfinch Test Signing CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
    -keyout "$ca/ca.key" -out "$ca/ca.pem" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -subj "/CN=Ardentis (test)" -keyout "$ca/signer.key" \
    -out "$ca/signer.csr" 2>/dev/null
  openssl x509 -req -in "$ca/signer.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" -CAcreateserial -days 30 \
    -extfile <(printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n') \
    -out "$ca/signer.pem" 2>/dev/null
  sign -certs "$ca/signer.pem" -key "$ca/signer.key"
  signed_by="the test certificate in $ca"
elif [ -n "$cert" ]; then
  sign -pkcs12 "$cert" ${SF_SIGN_PASSWORD:+-pass "$SF_SIGN_PASSWORD"}
  signed_by=$cert
else
  cp "$out/unsigned/Stormfinch.exe" "$out/Stormfinch.exe"
  signed_by=""
fi
(cd "$out" && sha256sum Stormfinch.exe Stormfinch.debug version.txt* unsigned/Stormfinch.exe > SHA256SUMS)

size=$(stat -c %s "$out/Stormfinch.exe")
echo "release: Stormfinch.exe $version: $size bytes ($(awk -v b="$size" 'BEGIN { printf "%.2f", b / 1048576 }') MB)"
if [ -n "$signed_by" ]; then echo "release: signed with $signed_by"; else echo "release: NOT signed (no --cert)"; fi
echo "release: debug information in $out/Stormfinch.debug; published version text \"$(cat "$out/version.txt")\""
if [ -n "$manifest_keys" ]; then
  echo "release: trusts $(tr ';' '\n' <<<"$manifest_keys" | grep -c .) release key(s)${sign_key:+; version.txt signed}"
else
  echo "release: trusts no release key: it accepts unsigned versions (give --manifest-keys)"
fi
echo "release: done in $(($(date +%s) - started)) s: $out"

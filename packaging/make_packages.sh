#!/usr/bin/env bash
# Builds the packages of one module into a folder: PARVEX.CAB (the INF
# first, then the module; MSZIP), parvex-machine.msi and parvex-user.msi from
# parvex.wxs, the page snippet parvex-object.html, and the module as
# packaged, PARVEX.OCX. With PARVEX_SIGN_CERT (PEM: the code-signing
# certificate and its chain) and PARVEX_SIGN_KEY (its PEM key) the module is
# signed first, then the cabinet and both MSIs (SHA-256), each time-stamped
# by PARVEX_SIGN_TIMESTAMP when it names a server. Then every copy of the
# version is checked. The last line says whether the packages are signed.
# usage: make_packages.sh MODULE VERSION OUT [PARVEX-CLI]
set -uo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
MODULE=${1:?usage: make_packages.sh MODULE VERSION OUT [PARVEX-CLI]}
VERSION=${2:?usage: make_packages.sh MODULE VERSION OUT [PARVEX-CLI]}
OUT=${3:?usage: make_packages.sh MODULE VERSION OUT [PARVEX-CLI]}
CLI=${4:-}
CODEBASE=${PARVEX_CODEBASE:-https://mail.example.com/activex/PARVEX.CAB}

fail() { echo "make_packages: $*" >&2; exit 1; }

signing() { [ -n "${PARVEX_SIGN_CERT:-}" ] && [ -n "${PARVEX_SIGN_KEY:-}" ]; }

# sign FILE: replaces FILE by its signed copy.
sign() {
    local stamp=()
    [ -n "${PARVEX_SIGN_TIMESTAMP:-}" ] && stamp=(-ts "$PARVEX_SIGN_TIMESTAMP")
    osslsigncode sign -certs "$PARVEX_SIGN_CERT" -key "$PARVEX_SIGN_KEY" -h sha256 "${stamp[@]}" \
        -in "$1" -out "$1.signed" >/dev/null || fail "could not sign $1"
    mv "$1.signed" "$1"
}

# The page's <object> element for this version; "#version" is what a
# browser compares with the installed module's FILEVERSION.
snippet() {
    cat <<EOF
<object id="ParvexUp" classid="clsid:1FEDBA90-4A67-4996-B858-0F06B5378B43"
        codebase="$CODEBASE#version=${VERSION//./,}"
        width="560" height="200"></object>
EOF
}

[ -f "$MODULE" ] || fail "no module at $MODULE"
if { [ -n "${PARVEX_SIGN_CERT:-}" ] || [ -n "${PARVEX_SIGN_KEY:-}" ]; } && ! signing; then
    fail "PARVEX_SIGN_CERT and PARVEX_SIGN_KEY go together"
fi
mkdir -p "$OUT" || fail "cannot make $OUT"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
rm -f "$OUT"/PARVEX.OCX "$OUT"/PARVEX.CAB "$OUT"/parvex-*.msi "$OUT"/parvex-object.html

cp "$MODULE" "$WORK/PARVEX.OCX"
signing && sign "$WORK/PARVEX.OCX"
# An INF is read with CR LF line ends everywhere.
sed 's/\r$//; s/$/\r/' "$HERE/PARVEX.INF" >"$WORK/PARVEX.INF"
(cd "$WORK" && gcab -c -z PARVEX.CAB PARVEX.INF PARVEX.OCX) || fail "gcab failed"
signing && sign "$WORK/PARVEX.CAB"
for scope in machine user; do
    # wixl takes the module's Source relative to the folder it runs in.
    (cd "$WORK" && wixl -a x86 -D Scope=per${scope^} -D Version="$VERSION" -o "parvex-$scope.msi" \
        "$HERE/parvex.wxs") || fail "wixl failed for parvex-$scope.msi"
    # The site lock's component only with ALLOWEDSITES given: a condition
    # wixl has no element for. An installer that weighs the condition again
    # at removal (Wine's) still removes the value.
    msibuild "$WORK/parvex-$scope.msi" -q "UPDATE Component SET Condition = 'ALLOWEDSITES OR REMOVE' WHERE Component = 'SiteLock'" ||
        fail "the site lock's condition could not be set in parvex-$scope.msi"
    signing && sign "$WORK/parvex-$scope.msi"
done
cp "$WORK/PARVEX.OCX" "$WORK/PARVEX.CAB" "$WORK/parvex-machine.msi" "$WORK/parvex-user.msi" "$OUT/"
snippet >"$OUT/parvex-object.html"

bash "$HERE/check_version.sh" "$HERE/.." "$VERSION" "$OUT" $CLI || fail "the packages disagree on the version"
if signing; then
    echo "packages in $OUT: PARVEX.CAB, parvex-machine.msi, parvex-user.msi and PARVEX.OCX, signed (SHA-256)"
else
    echo "packages in $OUT are UNSIGNED: set PARVEX_SIGN_CERT and PARVEX_SIGN_KEY to sign them"
fi

#!/usr/bin/env bash
# The packages of packaging/make_packages.sh, signed by a throwaway authority
# made here, checked natively and installed under Wine, every install in a
# fresh prefix of its own:
#  - the version check refuses an INF edited by hand; every signature
#    verifies, and fails once a byte of the module or of the cabinet changes;
#  - per machine the MSI installs silently, both controls are created from
#    the installed file, and removing it leaves both hives as they were and
#    no folder; its rows are those DllRegisterServer writes for the same
#    path, and a package with one row planted wrong fails that comparison;
#  - per user the MSI writes its rows under HKEY_CURRENT_USER only, the
#    controls are created (the rows copied into the machine's classes for
#    that attempt only), and removing it leaves both hives as they were;
#    regsvr32 /n /i:user writes the same rows for the user and
#    /u /n /i:user takes them all back;
#  - advpack from the cabinet and setupapi from the INF install per machine,
#    the controls are created, and the INF's removal leaves only what
#    DllUnregisterServer keeps on purpose; advpack per user leaves nothing;
#  - a package of a higher version installed over this one leaves one
#    registration and one file;
#  - ALLOWEDSITES given to either MSI writes the site lock's entries, and
#    removing the package takes them back.
set -u
BUILD=${1:?usage: packages.sh <build/win dir>}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
source "$HERE/lib/hives.sh"
source "$HERE/lib/prefixes.sh"
source "$HERE/lib/signing.sh"
source "$HERE/packages/checks.sh"
source "$HERE/packages/wine_helpers.sh"
source "$HERE/packages/scenarios.sh"
WORK=$(cd "$BUILD/.." && pwd)/package-tests
VERSION=$(cat "$BUILD/version.txt")
PKG="$WORK/packages"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cleanup() { [ -n "${WINEPREFIX:-}" ] && [ "$WINEPREFIX" != "${OUTER_PREFIX:-}" ] && wineserver -k 2>/dev/null; }
OUTER_PREFIX=${WINEPREFIX:-}
trap cleanup EXIT

rm -rf "$WORK" && mkdir -p "$WORK"
make_signing_ca "$WORK/ca" || { echo "the test authority could not be made"; exit 1; }
last=$(PARVEX_SIGN_CERT="$WORK/ca/chain.pem" PARVEX_SIGN_KEY="$WORK/ca/leaf.key" \
    bash "$ROOT/packaging/make_packages.sh" "$BUILD/PARVEX.OCX" "$VERSION" "$PKG" | tail -n 1)
[ -f "$PKG/parvex-user.msi" ] || { echo "the packages could not be made"; exit 1; }
case $last in *", signed (SHA-256)") ;; *) fail "the signed build's last line says: $last" ;; esac

check_version_edit
check_signatures
HIGHER=1.0.1.0
make_higher_version "$HIGHER" "$WORK/higher" || fail "the package of a higher version could not be made"
plant_wrong_row "$PKG/parvex-machine.msi" "$WORK/planted.msi"

make_base_prefix "$WORK" "$HERE/packages/warmup.wxs" || { echo "the Wine prefix could not be made"; exit 1; }
for name in machine_msi planted_row user_msi user_registration advpack_machine setupapi_machine advpack_user upgrade \
    site_lock_msi; do
    echo "-- $name"
    new_prefix "$WORK/$name" || { fail "$name: no prefix"; continue; }
    "$name"
    end_prefix
done
rm -rf "$PREFIX_BASE"
export WINEPREFIX="$OUTER_PREFIX"

if [ "$failures" -gt 0 ]; then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "package checks passed"

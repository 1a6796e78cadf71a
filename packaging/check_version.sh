#!/usr/bin/env bash
# Every copy of the module's version against the build's (project() in
# CMakeLists.txt). The copies kept by hand, the INF's FileVersion and the
# guide's page snippet, on every build; with a packages folder also what was
# built: the module's FILEVERSION, the INF inside the cabinet, both MSIs'
# ProductVersion, the snippet beside them and parvex-cli --version.
# usage: check_version.sh ROOT VERSION [PACKAGES [PARVEX-CLI]]
set -u
ROOT=${1:?usage: check_version.sh ROOT VERSION [PACKAGES [PARVEX-CLI]]}
VERSION=${2:?usage: check_version.sh ROOT VERSION [PACKAGES [PARVEX-CLI]]}
PACKAGES=${3:-}
CLI=${4:-}
COMMAS=${VERSION//./,}
mismatches=0

# expect WHAT FOUND WANTED: one mismatch when FOUND (one value a line) holds
# anything but WANTED, or nothing.
expect() {
    local found
    found=$(printf '%s\n' "$2" | sort -u | tr '\n' ' ')
    [ "$found" = "$3 " ] && return 0
    echo "version check: $1 says '${found% }', the build says $3" >&2
    mismatches=$((mismatches + 1))
}

source "$(dirname "${BASH_SOURCE[0]}")/versions.sh"

expect "packaging/PARVEX.INF" "$(inf_version "$ROOT/packaging/PARVEX.INF")" "$COMMAS"
expect "the page snippet of docs/integrating.md" "$(snippet_versions "$ROOT/docs/integrating.md")" "$COMMAS"

if [ -n "$PACKAGES" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    expect "PARVEX.OCX's FILEVERSION" "$(file_version "$PACKAGES/PARVEX.OCX")" "$COMMAS"
    gcab -x -C "$work" "$PACKAGES/PARVEX.CAB" >/dev/null 2>&1
    expect "the INF in PARVEX.CAB" "$(inf_version "$work/PARVEX.INF" 2>/dev/null)" "$COMMAS"
    expect "the module in PARVEX.CAB" "$(file_version "$work/PARVEX.OCX" 2>/dev/null)" "$COMMAS"
    expect "parvex-machine.msi" "$(msi_version "$PACKAGES/parvex-machine.msi")" "$VERSION"
    expect "parvex-user.msi" "$(msi_version "$PACKAGES/parvex-user.msi")" "$VERSION"
    expect "the page snippet beside the packages" "$(snippet_versions "$PACKAGES/parvex-object.html")" "$COMMAS"
fi
[ -z "$CLI" ] || expect "parvex-cli --version" "$("$CLI" --version | sed -n 's/^parvex-cli //p')" "$VERSION"

[ "$mismatches" -eq 0 ]

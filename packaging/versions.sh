# How each package and file tells its version, one value a line. Sourced by
# check_version.sh and the package tests.

inf_version() { sed -n 's/^FileVersion=\([0-9,]*\).*/\1/p' "$1"; }
snippet_versions() { grep -o '#version=[0-9,]*' "$1" | cut -d= -f2; }
msi_version() { msiinfo export "$1" Property 2>/dev/null | tr -d '\r' | awk -F'\t' '$1 == "ProductVersion" { print $2 }'; }

# The offset of a module's fixed version information: its signature, then
# the structure's version, then the file version as two 32-bit words, each
# high half first.
fixed_version_offset() { LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | head -n 1 | cut -d: -f1; }

# file_version MODULE: its FILEVERSION as a,b,c,d.
file_version() {
    local at words
    at=$(fixed_version_offset "$1")
    [ -n "$at" ] || return 0
    words=($(od -An -t u2 -j $((at + 8)) -N 8 "$1"))
    echo "${words[1]},${words[0]},${words[3]},${words[2]}"
}

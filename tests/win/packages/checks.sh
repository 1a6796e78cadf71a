# The package checks that need no Wine, and the packages the Wine scenarios
# install besides the build's own. Sourced by tests/win/packages.sh, which
# sets ROOT, BUILD, WORK, PKG, VERSION and fail.
source "$ROOT/packaging/versions.sh"

# A copy of the files that carry the version by hand passes the version
# check, and fails it once the INF's FileVersion is edited.
check_version_edit() {
    local tree="$WORK/version-tree"
    mkdir -p "$tree/packaging" "$tree/docs"
    cp "$ROOT"/packaging/* "$tree/packaging/" && cp "$ROOT/docs/integrating.md" "$tree/docs/"
    bash "$tree/packaging/check_version.sh" "$tree" "$VERSION" 2>/dev/null ||
        fail "the version check refuses the files as they are"
    sed -i 's/^FileVersion=[0-9,]*/FileVersion=1,0,0,99/' "$tree/packaging/PARVEX.INF"
    ! bash "$tree/packaging/check_version.sh" "$tree" "$VERSION" 2>/dev/null ||
        fail "the version check takes an INF whose FileVersion was edited by hand"
}

# Every signed package verifies against the test authority, and not against
# its leaf; a module or a cabinet with one byte changed in its middle does not.
check_signatures() {
    local file copy
    for file in PARVEX.OCX PARVEX.CAB parvex-machine.msi parvex-user.msi; do
        osslsigncode verify -CAfile "$WORK/ca/leaf.pem" -in "$PKG/$file" >/dev/null 2>&1 &&
            fail "$file verifies against a certificate that is no authority"
        osslsigncode verify -CAfile "$WORK/ca/ca.pem" -in "$PKG/$file" >/dev/null 2>&1 ||
            fail "the signature of $file does not verify"
    done
    for file in PARVEX.OCX PARVEX.CAB; do
        copy="$WORK/changed-$file"
        cp "$PKG/$file" "$copy" && flip_byte "$copy" $(($(stat -c %s "$copy") / 2))
        osslsigncode verify -CAfile "$WORK/ca/ca.pem" -in "$copy" >/dev/null 2>&1 &&
            fail "$file still verifies with one byte changed"
    done
}

# put_u16 FILE OFFSET VALUE: a little-endian 16-bit word written in place.
put_u16() {
    printf "\\$(printf '%03o' $(($3 & 255)))\\$(printf '%03o' $(($3 >> 8)))" |
        dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}

# make_higher_version VERSION DIR: the packages of a test build of a higher
# version in DIR/packages, unsigned: the module with its FILEVERSION raised,
# and the packaging files and the guide with the version replaced, so that
# the build's own version check passes.
make_higher_version() {
    local dir=$2 commas=${1//./,} at last parts
    IFS=. read -ra parts <<<"$1"
    mkdir -p "$dir/tree/packaging" "$dir/tree/docs"
    cp "$ROOT"/packaging/* "$dir/tree/packaging/"
    sed -i "s/^FileVersion=[0-9,]*/FileVersion=$commas/" "$dir/tree/packaging/PARVEX.INF"
    sed "s/#version=[0-9,]*/#version=$commas/g" "$ROOT/docs/integrating.md" >"$dir/tree/docs/integrating.md"
    cp "$BUILD/PARVEX.OCX" "$dir/PARVEX.OCX"
    at=$(fixed_version_offset "$dir/PARVEX.OCX")
    [ -n "$at" ] || return 1
    put_u16 "$dir/PARVEX.OCX" $((at + 8)) "${parts[1]}" && put_u16 "$dir/PARVEX.OCX" $((at + 10)) "${parts[0]}"
    put_u16 "$dir/PARVEX.OCX" $((at + 12)) "${parts[3]}" && put_u16 "$dir/PARVEX.OCX" $((at + 14)) "${parts[2]}"
    last=$(env -u PARVEX_SIGN_CERT -u PARVEX_SIGN_KEY bash "$dir/tree/packaging/make_packages.sh" \
        "$dir/PARVEX.OCX" "$1" "$dir/packages" | tail -n 1)
    case $last in *UNSIGNED*) ;; *) fail "an unsigned build's last line says: $last" ;; esac
    [ -f "$dir/packages/parvex-machine.msi" ]
}

# plant_wrong_row MSI COPY: COPY is MSI with the upload control's threading
# model in its registry rows changed.
plant_wrong_row() {
    mkdir -p "$WORK/planted"
    msiinfo export "$1" Registry | tr -d '\r' | awk -F'\t' 'BEGIN { OFS = "\t" }
        !done && $4 == "ThreadingModel" && $3 ~ /1FEDBA90/ { $5 = "Both"; done = 1 } { print }' \
        >"$WORK/planted/Registry.idt"
    cp "$1" "$2" && msibuild "$2" -i "$WORK/planted/Registry.idt" ||
        fail "no MSI with a row planted wrong could be made"
}

# A throwaway code-signing authority for the package tests, made at test
# time, and the byte flip that must break a signature. Sourced.

# make_signing_ca DIR: DIR/ca.pem (the authority), DIR/chain.pem (a leaf for
# code signing and the authority) and DIR/leaf.key.
make_signing_ca() {
    local dir=$1
    mkdir -p "$dir"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/ca.key" -out "$dir/ca.pem" -days 2 \
        -subj "/CN=Parvex Test Code Signing CA" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" >/dev/null 2>&1 || return 1
    openssl req -newkey rsa:2048 -nodes -keyout "$dir/leaf.key" -out "$dir/leaf.csr" \
        -subj "/CN=Orvanta Component test signer" >/dev/null 2>&1 || return 1
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
        >"$dir/leaf.ext"
    openssl x509 -req -in "$dir/leaf.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
        -out "$dir/leaf.pem" -days 2 -extfile "$dir/leaf.ext" >/dev/null 2>&1 || return 1
    cat "$dir/leaf.pem" "$dir/ca.pem" >"$dir/chain.pem"
}

# flip_byte FILE OFFSET: inverts the lowest bit of one byte in place.
flip_byte() {
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "\\$(printf '%03o' $(( (byte ^ 1) & 255 )))" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}

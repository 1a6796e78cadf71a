#!/usr/bin/env bash
# Makes the certificates the TLS tests use, in DIR (default: build/pki at the
# top of the source tree). Quick and idempotent: a complete DIR is left as it
# is; a new one is made beside it and moved into place whole, so a reader
# never finds half of it.
#
#   ca.pem, ca.der        the test CA (PEM for SSL_CERT_FILE, DER for a
#                         Windows ROOT store)
#   server.key            the key of every server certificate below
#   localhost.pem         localhost; SAN DNS:localhost, IP:127.0.0.1, IP:::1
#   selfsigned.pem        the same names, signed by its own key
#   othername.pem         mail.example.com, signed by the CA
#   expired.pem           localhost's names, signed by the CA, valid in 2020 only
#   wrongip.pem           DNS:localhost with IP addresses other than the
#                         loopback ones (192.0.2.10, 2001:db8::10)
#   unknown.pem           localhost's names, signed by a CA nobody trusts
#   unknown-chain.pem     the same leaf followed by that CA
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
DIR=${1:-$HERE/../../build/pki}
# Absolute: the certificates are made in a folder of their own (cd below).
DIR=$(realpath -m "$DIR")
FILES=(ca.pem ca.der server.key localhost.pem selfsigned.pem othername.pem expired.pem wrongip.pem
       unknown.pem unknown-chain.pem)

complete() {
    local f
    for f in "${FILES[@]}"; do [ -s "$1/$f" ] || return 1; done
}
complete "$DIR" && exit 0

mkdir -p "$(dirname "$DIR")"
WORK=$(mktemp -d "$DIR.new.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

quiet() { "$@" >/dev/null 2>openssl.log || { cat openssl.log >&2; exit 1; }; }

LOCAL_NAMES="DNS:localhost,IP:127.0.0.1,IP:::1"
leaf_extensions() {  # subjectAltName value
    printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment" \
        "extendedKeyUsage=serverAuth" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid,issuer" \
        "subjectAltName=$1"
}

# make_ca NAME SUBJECT: NAME.key and the self-signed NAME.pem.
make_ca() {
    quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 3650 \
        -subj "$2" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
}

# sign NAME CA SUBJECT SANS [DAYS]: NAME.pem for server.key, signed by CA.
sign() {
    leaf_extensions "$4" >"$1.ext"
    quiet openssl req -new -key server.key -subj "$3" -out "$1.csr"
    quiet openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -set_serial "0x$(openssl rand -hex 8)" \
        -days "${5:-825}" -sha256 -extfile "$1.ext" -out "$1.pem"
}

quiet openssl genrsa -out server.key 2048
make_ca ca "/O=PARVEX tests/CN=PARVEX test CA"
make_ca stranger "/O=Nobody/CN=Unknown test CA"
quiet openssl x509 -in ca.pem -outform DER -out ca.der

sign localhost ca "/CN=localhost" "$LOCAL_NAMES"
sign othername ca "/CN=mail.example.com" "DNS:mail.example.com"
sign wrongip ca "/CN=localhost" "DNS:localhost,IP:192.0.2.10,IP:2001:db8::10"
sign unknown stranger "/CN=localhost" "$LOCAL_NAMES"
cat unknown.pem stranger.pem >unknown-chain.pem

quiet openssl req -x509 -key server.key -subj "/CN=localhost" -days 825 -sha256 -out selfsigned.pem \
    -addext "subjectAltName=$LOCAL_NAMES" -addext "extendedKeyUsage=serverAuth"

# x509 -req only dates forward from now; "openssl ca" takes both dates.
leaf_extensions "$LOCAL_NAMES" >expired.ext
quiet openssl req -new -key server.key -subj "/CN=localhost" -out expired.csr
mkdir issued && : >index.txt && echo 1000 >serial
cat >ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = index.txt
serial = serial
new_certs_dir = issued
default_md = sha256
policy = anything
unique_subject = no
[anything]
commonName = supplied
CNF
quiet openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr -out expired.pem \
    -startdate 20200101000000Z -enddate 20201231235959Z -extfile expired.ext

complete "$WORK" || { echo "make_test_pki.sh: files missing in $WORK" >&2; exit 1; }
find . -mindepth 1 -maxdepth 1 $(printf -- '-not -name %s ' "${FILES[@]}") -exec rm -rf {} +
chmod 644 ./*
rm -rf "$DIR"  # incomplete
mv -T "$WORK" "$DIR" 2>/dev/null || complete "$DIR"  # another run may have got there first

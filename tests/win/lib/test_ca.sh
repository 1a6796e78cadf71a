# The test authority of tools/mailserver/make_test_pki.sh in the Wine
# prefix's machine root store, for the pages that speak https. Sourced by the
# page scripts; each trusts it only while its https pages run and calls
# untrust_test_ca in its exit trap as well.
CA_KEY=""

# trust_test_ca BUILD_WIN PKI: trusts PKI/ca.der with parvex-trust-ca.exe of
# BUILD_WIN; fails when it could not.
trust_test_ca() {
    local sha1
    sha1=$(openssl x509 -inform DER -in "$2/ca.der" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
    [ -n "$sha1" ] || return 1
    CA_KEY="HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$sha1"
    wine "$1/parvex-trust-ca.exe" "$(winepath -w "$2/ca.der")"
}

# untrust_test_ca: takes the authority out again (the store's own removal
# would leave its key behind); does nothing when it was not trusted.
untrust_test_ca() {
    [ -z "$CA_KEY" ] || wine reg delete "$CA_KEY" /f >/dev/null 2>&1
    CA_KEY=""
}
